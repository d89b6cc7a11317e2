#include "platform/windows/WindowsFileSystem.h"

#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSafeCopy.h"

#include <algorithm>
#include <cwchar>
#include <limits>

namespace zandrel {

namespace {

using win32::errorText;
using win32::longPath;

DWORD attributesOf(const QString& path)
{
    const std::wstring name = longPath(path);
    return name.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(name.c_str());
}

// A file is regular when it is neither a folder nor a link (a reparse point):
// links are not followed, so what they point at is not counted.
bool isRegular(DWORD attributes) { return !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)); }
bool isRealFolder(DWORD attributes)
{
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

qint64 saturatedSum(qint64 a, qint64 b)
{
    return a > std::numeric_limits<qint64>::max() - b ? std::numeric_limits<qint64>::max() : a + b;
}

// Calls visit(data) for each entry of the folder but "." and "..". A folder
// that is gone counts as a failure only when asked to (the top of a walk).
template <typename Visit>
void eachEntry(const std::wstring& folder, const QString& shown, bool goneIsEmpty, Visit visit)
{
    std::wstring pattern = folder;
    while (pattern.size() > 1 && pattern.back() == L'\\')
        pattern.pop_back();
    pattern += L"\\*";
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || (goneIsEmpty && error == ERROR_PATH_NOT_FOUND))
            return;
        throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(shown, errorText(error)));
    }
    do {
        if (std::wcscmp(data.cFileName, L".") != 0 && std::wcscmp(data.cFileName, L"..") != 0)
            visit(data);
    } while (::FindNextFileW(find, &data));
    const DWORD error = ::GetLastError();
    ::FindClose(find);
    if (error != ERROR_NO_MORE_FILES)
        throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(shown, errorText(error)));
}

qint64 treeSize(const std::wstring& folder, const QString& shown, bool top)
{
    qint64 bytes = 0;
    eachEntry(folder, shown, !top, [&](const WIN32_FIND_DATAW& entry) {
        if (isRegular(entry.dwFileAttributes)) {
            const qint64 size = (qint64(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
            bytes = saturatedSum(bytes, size);
        } else if (isRealFolder(entry.dwFileAttributes)) {
            const QString name = win32::fromWide(entry.cFileName);
            bytes = saturatedSum(bytes,
                                 treeSize(folder + L'\\' + entry.cFileName, shown + QLatin1Char('\\') + name, false));
        }
    });
    return bytes;
}

class WindowsFolder : public Folder {
public:
    explicit WindowsFolder(QString path) : path_(std::move(path)) {}

    QStringList Files() override
    {
        QStringList names;
        eachEntry(longPath(path_), path_, false, [&](const WIN32_FIND_DATAW& entry) {
            if (isRegular(entry.dwFileAttributes))
                names << win32::fromWide(entry.cFileName);
        });
        std::sort(names.begin(), names.end());
        return names;
    }

    qint64 Count() override
    {
        qint64 count = 0;
        eachEntry(longPath(path_), path_, false,
                  [&](const WIN32_FIND_DATAW& entry) { count += isRegular(entry.dwFileAttributes); });
        return count;
    }

    qint64 Size() override { return treeSize(longPath(path_), path_, true); }

private:
    QString path_;
};

}  // namespace

bool WindowsFileSystem::FolderExists(const QString& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool WindowsFileSystem::FileExists(const QString& path)
{
    const DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<Folder> WindowsFileSystem::GetFolder(const QString& path)
{
    if (!FolderExists(path))
        throw PlatformError(QStringLiteral("De map '%1' bestaat niet.").arg(path));
    return std::make_unique<WindowsFolder>(path);
}

QString WindowsFileSystem::GetDriveName(const QString& path)
{
    const QString failure = QStringLiteral("Kan niet bepalen op welke schijf '%1' staat.");
    if (attributesOf(path) == INVALID_FILE_ATTRIBUTES)
        throw PlatformError(failure.arg(path));
    QString full = win32::fromWide(longPath(path).c_str());
    if (full.startsWith(QLatin1String("\\\\?\\UNC\\"))) {
        // \\server\share: the share is the drive, and it has no letter.
        const QStringList parts = full.mid(8).split(QLatin1Char('\\'));
        if (parts.size() >= 2 && !parts[0].isEmpty() && !parts[1].isEmpty())
            return QStringLiteral("\\\\") + parts[0] + QLatin1Char('\\') + parts[1];
    } else if (full.startsWith(QLatin1String("\\\\?\\")) && full.size() >= 6 && full.at(5) == QLatin1Char(':')
               && full.at(4).isLetter()) {
        return full.mid(4, 1).toUpper() + QLatin1Char(':');
    }
    throw PlatformError(failure.arg(path));
}

Drive WindowsFileSystem::GetDrive(const QString& driveName)
{
    // The root of the drive, with the separator that GetDiskFreeSpaceExW wants.
    const std::wstring root = longPath(driveName + QLatin1Char('\\'));
    ULARGE_INTEGER available{};
    if (root.empty() || !::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) {
        const DWORD error = root.empty() ? DWORD(ERROR_INVALID_NAME) : ::GetLastError();
        throw PlatformError(QStringLiteral("De schijf '%1' is niet beschikbaar: %2").arg(driveName, errorText(error)));
    }
    const bool lettered = driveName.size() == 2 && driveName.at(1) == QLatin1Char(':');
    const qint64 free = available.QuadPart > quint64(std::numeric_limits<qint64>::max())
        ? std::numeric_limits<qint64>::max()
        : qint64(available.QuadPart);
    return Drive{free, lettered ? driveName.left(1) : QString()};
}

void WindowsFileSystem::CreateFolder(const QString& path)
{
    const std::wstring name = longPath(path);
    if (name.empty() || !::CreateDirectoryW(name.c_str(), nullptr)) {
        const DWORD error = name.empty() ? DWORD(ERROR_INVALID_NAME) : ::GetLastError();
        throw PlatformError(QStringLiteral("Kan de map '%1' niet maken: %2").arg(path, errorText(error)));
    }
}

std::unique_ptr<StagedCopy> WindowsFileSystem::StageCopy(const QString& source, const QString& targetFolder,
                                                         CopyCheck check, const CopyControl& control)
{
    return wincopy::stageCopy(source, targetFolder, check, control);
}

void WindowsFileSystem::ClearLeftovers(const QString& folder)
{
    const std::wstring name = longPath(folder);
    if (!name.empty())
        wincopy::sweepStaleTempFiles(name);
}

}  // namespace zandrel
