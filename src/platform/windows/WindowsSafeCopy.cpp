#include "platform/windows/WindowsSafeCopy.h"

#include "platform/NativePath.h"
#include "platform/windows/Win32.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <vector>
#include <xxhash.h>

namespace zandrel::wincopy {

namespace {

using win32::errorText;
using win32::Handle;
using win32::longPath;

// One step failed; the reason completes the copy's error text.
struct StepFailed {
    QString reason;
};

// The target name was taken by someone else before the copy could have it.
struct NameTaken {};

[[noreturn]] void fail(const QString& reason) { throw StepFailed{reason}; }
[[noreturn]] void failWith(DWORD error) { fail(errorText(error)); }
[[noreturn]] void failLast() { failWith(::GetLastError()); }

const QString kTempPrefix = QStringLiteral(".zandrel-tmp-");
constexpr int kRandomLength = 16;
// Large enough that a camera on USB streams at full speed, and a whole number
// of sectors, as reads past the cache need.
constexpr DWORD kBufferSize = DWORD(1) << 20;

// Page-aligned, as reads past the cache (FILE_FLAG_NO_BUFFERING) need.
class Buffer {
public:
    Buffer()
        : bytes_(static_cast<char*>(::VirtualAlloc(nullptr, kBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)))
    {
        if (!bytes_)
            failLast();
    }
    ~Buffer() { ::VirtualFree(bytes_, 0, MEM_RELEASE); }
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    char* data() { return bytes_; }

private:
    char* bytes_;
};

class Checksum {
public:
    Checksum()
    {
        if (!state_ || XXH3_64bits_reset(state_.get()) != XXH_OK)
            failWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    void add(const char* bytes, size_t length) { XXH3_64bits_update(state_.get(), bytes, length); }
    XXH64_hash_t value() const { return XXH3_64bits_digest(state_.get()); }

private:
    struct Free {
        void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
    };
    std::unique_ptr<XXH3_state_t, Free> state_{XXH3_createState()};
};

// What tells one file and one state of it from another.
struct Identity {
    DWORD volume = 0;
    quint64 index = 0;
    quint64 size = 0;
    quint64 written = 0;
    DWORD attributes = 0;

    bool sameFile(const Identity& other) const { return volume == other.volume && index == other.index; }
    bool sameContents(const Identity& other) const
    {
        return sameFile(other) && size == other.size && written == other.written;
    }
};

quint64 joined(DWORD high, DWORD low) { return (quint64(high) << 32) | low; }

Identity identityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info))
        failLast();
    return Identity{info.dwVolumeSerialNumber, joined(info.nFileIndexHigh, info.nFileIndexLow),
                    joined(info.nFileSizeHigh, info.nFileSizeLow),
                    joined(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
                    info.dwFileAttributes};
}

bool setDeleted(HANDLE handle)
{
    // Its one member is spelt DeleteFile, which <windows.h> renamed when it declared it.
    FILE_DISPOSITION_INFO info{TRUE};
    return ::SetFileInformationByHandle(handle, FileDispositionInfo, &info, sizeof info);
}

bool setAttributes(HANDLE handle, DWORD attributes)
{
    FILE_BASIC_INFO info{};  // times of 0 are left as they are
    info.FileAttributes = attributes;
    return ::SetFileInformationByHandle(handle, FileBasicInfo, &info, sizeof info);
}

DWORD readSome(HANDLE from, char* bytes, DWORD length)
{
    DWORD got = 0;
    if (!::ReadFile(from, bytes, length, &got, nullptr))
        failLast();
    return got;
}

void writeAll(HANDLE to, const char* bytes, DWORD length)
{
    while (length > 0) {
        DWORD put = 0;
        if (!::WriteFile(to, bytes, length, &put, nullptr))
            failLast();
        if (put == 0)
            failWith(ERROR_DISK_FULL);
        bytes += put;
        length -= put;
    }
}

void checkStop(const CopyControl& control)
{
    if (control.stopped())
        failWith(ERROR_OPERATION_ABORTED);
}

QString tempName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString name = kTempPrefix + QString::number(::GetCurrentProcessId()) + QLatin1Char('-');
    for (int i = 0; i < kRandomLength; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return name;
}

std::wstring inFolder(std::wstring folder, const QString& name)
{
    while (folder.size() > 1 && folder.back() == L'\\')
        folder.pop_back();
    return folder + L'\\' + win32::wide(name);
}

// The copy while it is written: a hidden file of a reserved name form, created
// new. It is held open without sharing its deletion, so that a later run's
// sweep cannot remove it while this run lives, and deleted through its handle
// when dropped unless it was published. Writing is shared only so that the
// handle can be traded for one that every reader can share.
class TempFile {
public:
    explicit TempFile(const std::wstring& folder)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            handle_ = Handle(::CreateFileW(inFolder(folder, tempName()).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_HIDDEN, nullptr));
            if (handle_.valid())
                return;
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                failWith(error);
        }
        failWith(ERROR_FILE_EXISTS);
    }
    ~TempFile()
    {
        if (!published_)
            setDeleted(handle_.get());
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    HANDLE get() const { return handle_.get(); }
    bool published() const { return published_; }

    // Under a photo's name it is kept only to be flushed, and shared with
    // everyone: the preview reads it at once, and the user may open it.
    void markPublished()
    {
        published_ = true;
        Handle shared(::ReOpenFile(handle_.get(), GENERIC_WRITE, kShareAll, 0));
        if (shared.valid())
            handle_ = std::move(shared);
    }

    // The published copy removed again, through its own handle; best effort
    // where a reader holds it without sharing its deletion.
    void takeBack()
    {
        const Handle deleting(::ReOpenFile(handle_.get(), DELETE, kShareAll, 0));
        if (deleting.valid())
            setDeleted(deleting.get());
    }

private:
    static constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

    Handle handle_;
    bool published_ = false;
};

// The copy of one camera file from its staging to the deletion of the camera file.
class WindowsStagedCopy : public StagedCopy {
public:
    WindowsStagedCopy(const QString& source, const QString& folder, CopyCheck check)
        : source_(source), folderText_(folder), folder_(longPath(folder)), check_(check)
    {
        if (folder_.empty())
            failWith(ERROR_INVALID_NAME);
        openSource();
    }

    void stage(const CopyControl& control)
    {
        temp_ = std::make_unique<TempFile>(folder_);
        Buffer buffer;
        Checksum checksum;
        quint64 done = 0;
        checkStop(control);
        while (const DWORD got = readSome(from_.get(), buffer.data(), kBufferSize)) {
            if (check_ == CopyCheck::VerifiedOnDisk)
                checksum.add(buffer.data(), got);
            writeAll(temp_->get(), buffer.data(), got);
            done += got;
            if (control.progress)
                control.progress(qint64(done), qint64(info_.size));
            checkStop(control);
        }
        hash_ = checksum.value();
        keepTime();
        // A file cut short or grown while it was read is not the file that was looked at.
        if (done != info_.size || identityOf(temp_->get()).size != info_.size)
            fail(QStringLiteral("het bestand op de camera veranderde terwijl het gekopieerd werd"));
        checkSourceUnchanged();
    }

    qint64 size() const override { return qint64(info_.size); }

    void verify(const CopyControl& control) override
    {
        failing(QString(), [&] { checkOnDisk(control); });
    }

    void publish(const QString& target) override
    {
        failing(target, [&] { publishAs(target); });
        target_ = target;
    }

    void flushName() override
    {
        failing(target_, [&] { flushPublished(); });
    }

    void deleteSource() override
    {
        try {
            // The camera file may exist nowhere else until its copy is safe on disk.
            if (!verified_ || !flushedUnderName_)
                fail(QStringLiteral("de kopie is nog niet gecontroleerd en vastgelegd"));
            if (!from_.valid())
                fail(QStringLiteral("het bestand is al verwijderd"));
            const Identity now = checkSourceUnchanged();
            // Like a deletion without force: a write-protected file is left alone.
            if ((now.attributes & FILE_ATTRIBUTE_READONLY) || !deletable_)
                fail(QStringLiteral("het bestand is alleen-lezen."));
            // Through the handle that was read and verified: the file deleted
            // is the file verified, whatever its name has come to mean.
            if (!setDeleted(from_.get()))
                failLast();
            from_.reset();  // the name goes with the last handle
        } catch (const StepFailed& failed) {
            throw PlatformError(QStringLiteral("Kan '%1' niet verwijderen: %2").arg(source_, failed.reason));
        }
    }

private:
    void openSource()
    {
        const std::wstring path = longPath(source_);
        if (path.empty())
            failWith(ERROR_INVALID_NAME);
        // A link swapped in for a camera file is opened as itself, and refused
        // below: its target is not the camera's file. Nobody may write to the
        // file while it is held.
        const DWORD flags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN;
        if (check_ == CopyCheck::VerifiedOnDisk) {
            // The right to delete is taken now, so that the file read is the file deleted.
            from_ = Handle(::CreateFileW(path.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         flags, nullptr));
            const DWORD error = from_.valid() ? DWORD(ERROR_SUCCESS) : ::GetLastError();
            if (!from_.valid() && error != ERROR_ACCESS_DENIED && error != ERROR_WRITE_PROTECT)
                failWith(error);
            deletable_ = from_.valid();
        }
        if (!from_.valid())
            from_ = Handle(
                ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr));
        if (!from_.valid())
            failLast();
        info_ = identityOf(from_.get());
        if (info_.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            fail(QStringLiteral("de bron is een koppeling, geen gewoon bestand"));
        if ((info_.attributes & FILE_ATTRIBUTE_DIRECTORY) || ::GetFileType(from_.get()) != FILE_TYPE_DISK)
            fail(QStringLiteral("de bron is geen gewoon bestand"));
    }

    Identity checkSourceUnchanged() const
    {
        const Identity now = identityOf(from_.get());
        if (!now.sameContents(info_))
            fail(QStringLiteral("het bestand op de camera is veranderd sinds het gekopieerd werd"));
        return now;
    }

    // Best effort: a file system that cannot store the time still gets the photo.
    void keepTime()
    {
        FILE_BASIC_INFO info{};
        info.LastWriteTime.QuadPart = LONGLONG(info_.written);
        ::SetFileInformationByHandle(temp_->get(), FileBasicInfo, &info, sizeof info);
    }

    void checkOnDisk(const CopyControl& control)
    {
        checkStop(control);
        if (!::FlushFileBuffers(temp_->get()))
            failLast();
        if (check_ != CopyCheck::VerifiedOnDisk)
            return;
        const quint64 onDisk = identityOf(temp_->get()).size;
        if (onDisk != info_.size)
            fail(QStringLiteral("de kopie is %1 bytes groot in plaats van %2").arg(onDisk).arg(info_.size));
        if (hashFromDisk(control) != hash_)
            fail(QStringLiteral("de kopie op schijf wijkt af van het origineel"));
        verified_ = true;
    }

    // Read through a second handle that bypasses the cache, so that what is
    // compared is what the disk gives back.
    XXH64_hash_t hashFromDisk(const CopyControl& control)
    {
        const Handle reader(::ReOpenFile(temp_->get(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN));
        if (!reader.valid())
            failLast();
        Buffer buffer;
        Checksum checksum;
        for (;;) {
            const DWORD got = readSome(reader.get(), buffer.data(), kBufferSize);
            checksum.add(buffer.data(), got);
            checkStop(control);
            if (got < kBufferSize)  // the end: unbuffered reads come in whole sectors until then
                break;
        }
        return checksum.value();
    }

    void publishAs(const QString& target)
    {
        const qsizetype slash = std::max(target.lastIndexOf(QLatin1Char('\\')), target.lastIndexOf(QLatin1Char('/')));
        const QString name = target.mid(slash + 1);
        if (name.isEmpty())
            fail(QStringLiteral("het doel heeft geen bestandsnaam"));
        if (!isPathText(name))  // Windows would take the name up to its NUL
            failWith(ERROR_INVALID_NAME);
        if (longPath(slash < 0 ? QStringLiteral(".") : target.left(slash)) != folder_)
            fail(QStringLiteral("de kopie staat klaar in een andere map"));
        // The names of temporary files are kept free of photos, so that
        // clearing a dead run's leftovers can never take one.
        if (isTempName(name))
            throw NameTaken{};
        checkSourceUnchanged();
        if (!setAttributes(temp_->get(), FILE_ATTRIBUTE_NORMAL))
            failLast();
        const std::wstring to = inFolder(folder_, name);
        std::vector<char> bytes(sizeof(FILE_RENAME_INFO) + to.size() * sizeof(wchar_t));
        auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(bytes.data());
        rename->ReplaceIfExists = FALSE;  // never onto a file, a folder or a link that is there
        rename->RootDirectory = nullptr;
        rename->FileNameLength = DWORD(to.size() * sizeof(wchar_t));
        std::memcpy(rename->FileName, to.c_str(), (to.size() + 1) * sizeof(wchar_t));
        if (!::SetFileInformationByHandle(temp_->get(), FileRenameInfo, rename, DWORD(bytes.size()))) {
            const DWORD error = ::GetLastError();
            setAttributes(temp_->get(), FILE_ATTRIBUTE_HIDDEN);
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS
                || (error == ERROR_ACCESS_DENIED && ::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES))
                throw NameTaken{};
            failWith(error);
        }
        temp_->markPublished();
    }

    void flushPublished()
    {
        if (check_ != CopyCheck::VerifiedOnDisk || !temp_ || !temp_->published())
            return;
        DWORD error = ::FlushFileBuffers(temp_->get()) ? DWORD(ERROR_SUCCESS) : ::GetLastError();
        // The folder's entry too, where the file system lets a folder be flushed.
        const Handle folder(::CreateFileW(folder_.c_str(), GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (error == ERROR_SUCCESS && folder.valid() && !::FlushFileBuffers(folder.get())) {
            const DWORD folderError = ::GetLastError();
            if (folderError != ERROR_INVALID_FUNCTION && folderError != ERROR_ACCESS_DENIED)
                error = folderError;
        }
        if (error != ERROR_SUCCESS) {
            temp_->takeBack();
            failWith(error);
        }
        flushedUnderName_ = true;
    }

    // Runs step; its failure becomes the copy's error text.
    template <typename Step>
    void failing(const QString& target, Step step)
    {
        try {
            step();
        } catch (const NameTaken&) {
            throw TargetTaken(
                copyFailureText(source_, target, QStringLiteral("die naam is intussen in gebruik genomen")));
        } catch (const StepFailed& failure) {
            throw PlatformError(copyFailureText(source_, target.isEmpty() ? folderText_ : target, failure.reason));
        }
    }

    QString source_;
    QString folderText_;
    std::wstring folder_;
    CopyCheck check_;
    Handle from_;
    bool deletable_ = false;  // opened with the right to delete it
    Identity info_;
    std::unique_ptr<TempFile> temp_;
    XXH64_hash_t hash_ = 0;
    QString target_;
    bool verified_ = false;          // read back from the disk and compared
    bool flushedUnderName_ = false;  // published, and flushed again
};

}  // namespace

bool isTempName(const QString& name)
{
    if (!name.startsWith(kTempPrefix, Qt::CaseInsensitive))
        return false;
    const QStringList parts = name.mid(kTempPrefix.size()).split(QLatin1Char('-'));
    const auto all = [](const QString& part, bool (*accept)(QChar)) {
        return std::all_of(part.begin(), part.end(), accept);
    };
    return parts.size() == 2 && !parts[0].isEmpty() && parts[0].size() <= 19
        && all(parts[0], [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); })
        && parts[1].size() == kRandomLength
        && all(parts[1], [](QChar c) { return c.unicode() < 128 && (c.isLetterOrNumber()); });
}

std::unique_ptr<StagedCopy> stageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                      const CopyControl& control)
{
    try {
        auto copy = std::make_unique<WindowsStagedCopy>(source, targetFolder, check);
        copy->stage(control);
        return copy;
    } catch (const StepFailed& failure) {
        throw PlatformError(copyFailureText(source, targetFolder, failure.reason));
    }
}

void sweepStaleTempFiles(const std::wstring& folder)
{
    WIN32_FIND_DATAW data{};
    const HANDLE find = ::FindFirstFileExW(inFolder(folder, kTempPrefix + QLatin1Char('*')).c_str(), FindExInfoBasic,
                                           &data, FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE)
        return;  // housekeeping only: the copy itself reports an unreadable folder
    do {
        const QString name = win32::fromWide(data.cFileName);
        // A live run's file refuses this (it shares no deletion); a dead run's goes.
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isTempName(name))
            ::DeleteFileW(inFolder(folder, name).c_str());
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

}  // namespace zandrel::wincopy
