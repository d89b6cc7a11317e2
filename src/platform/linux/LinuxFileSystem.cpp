#include "platform/linux/LinuxFileSystem.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel {

namespace {

QByteArray native(const QString& path) { return QFile::encodeName(path); }

QString reason(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool statIs(const QString& path, mode_t type)
{
    struct stat info {};
    return !path.isEmpty() && ::stat(native(path).constData(), &info) == 0 && (info.st_mode & S_IFMT) == type;
}

// Walks one folder without following links; regular files only are counted.
class DirectoryWalk {
public:
    explicit DirectoryWalk(const QString& path) : path_(path)
    {
        const int fd = ::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 || !(dir_ = ::fdopendir(fd))) {
            const int error = errno;
            if (fd >= 0)
                ::close(fd);
            throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(path, reason(error)));
        }
    }
    ~DirectoryWalk() { ::closedir(dir_); }
    DirectoryWalk(const DirectoryWalk&) = delete;
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;

    // Calls visit(name, stat) for each entry but "." and "..".
    template <typename Visit>
    void each(Visit visit)
    {
        errno = 0;
        while (const dirent* entry = ::readdir(dir_)) {
            if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
                continue;
            struct stat info {};
            if (::fstatat(::dirfd(dir_), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)  // gone while we looked: it no longer counts
                    continue;
                throw PlatformError(QStringLiteral("Kan '%1' in '%2' niet lezen: %3")
                                        .arg(QFile::decodeName(entry->d_name), path_, reason(errno)));
            }
            visit(entry->d_name, info);
            errno = 0;
        }
        if (errno != 0)
            throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(path_, reason(errno)));
    }

private:
    QString path_;
    DIR* dir_ = nullptr;
};

qint64 treeSize(const QString& path)
{
    qint64 bytes = 0;
    DirectoryWalk(path).each([&](const char* name, const struct stat& info) {
        if (S_ISREG(info.st_mode))
            bytes += info.st_size;
        else if (S_ISDIR(info.st_mode))
            bytes += treeSize(path + QLatin1Char('/') + QFile::decodeName(name));
    });
    return bytes;
}

class LinuxFolder : public Folder {
public:
    explicit LinuxFolder(QString path) : path_(std::move(path)) {}

    QStringList Files() override
    {
        QStringList names;
        DirectoryWalk(path_).each([&](const char* name, const struct stat& info) {
            if (S_ISREG(info.st_mode))
                names << QFile::decodeName(name);
        });
        std::sort(names.begin(), names.end());
        return names;
    }

    qint64 Count() override
    {
        qint64 count = 0;
        DirectoryWalk(path_).each([&](const char*, const struct stat& info) { count += S_ISREG(info.st_mode); });
        return count;
    }

    qint64 Size() override { return treeSize(path_); }

private:
    QString path_;
};

}  // namespace

bool LinuxFileSystem::FolderExists(const QString& path) { return statIs(path, S_IFDIR); }

bool LinuxFileSystem::FileExists(const QString& path) { return statIs(path, S_IFREG); }

std::unique_ptr<Folder> LinuxFileSystem::GetFolder(const QString& path)
{
    if (!FolderExists(path))
        throw PlatformError(QStringLiteral("De map '%1' bestaat niet.").arg(path));
    return std::make_unique<LinuxFolder>(path);
}

QString LinuxFileSystem::GetDriveName(const QString& path)
{
    const QStorageInfo storage(path);
    if (!storage.isValid() || storage.rootPath().isEmpty())
        throw PlatformError(QStringLiteral("Kan niet bepalen op welke schijf '%1' staat.").arg(path));
    return storage.rootPath();
}

Drive LinuxFileSystem::GetDrive(const QString& driveName)
{
    QStorageInfo storage(driveName);
    if (!storage.isValid() || !storage.isReady())
        throw PlatformError(QStringLiteral("De schijf '%1' is niet beschikbaar.").arg(driveName));
    const QString label = storage.name();
    return Drive{storage.bytesAvailable(), label.isEmpty() ? storage.rootPath() : label};
}

void LinuxFileSystem::CreateFolder(const QString& path)
{
    if (::mkdir(native(path).constData(), 0777) != 0)
        throw PlatformError(QStringLiteral("Kan de map '%1' niet maken: %2").arg(path, reason(errno)));
}

void LinuxFileSystem::DeleteFile(const QString& path)
{
    struct stat info {};
    if (::lstat(native(path).constData(), &info) != 0)
        throw PlatformError(QStringLiteral("Kan '%1' niet verwijderen: %2").arg(path, reason(errno)));
    // Like a deletion without force: a write-protected file is left alone.
    if (!(info.st_mode & S_IWUSR))
        throw PlatformError(QStringLiteral("Kan '%1' niet verwijderen: het bestand is alleen-lezen.").arg(path));
    if (::unlink(native(path).constData()) != 0)
        throw PlatformError(QStringLiteral("Kan '%1' niet verwijderen: %2").arg(path, reason(errno)));
}

}  // namespace zandrel
