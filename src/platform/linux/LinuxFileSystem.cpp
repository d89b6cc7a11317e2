#include "platform/linux/LinuxFileSystem.h"

#include "platform/linux/NativePath.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrel {

namespace {

// Flushes the entries of the folder that holds path; 0 or the error.
int flushParent(const QByteArray& path)
{
    const int fd = ::open(parentFolder(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

bool statIs(const QString& path, mode_t type)
{
    struct stat info {};
    return isPathText(path) && ::stat(nativePath(path).constData(), &info) == 0 && (info.st_mode & S_IFMT) == type;
}

// The path the kernel is to act on; text it would cut short at a NUL is refused.
QByteArray checkedNative(const QString& path, const QString& failure)
{
    if (!isPathText(path))
        throw PlatformError(failure.arg(path, errorText(EINVAL)));
    return nativePath(path);
}

// Walks one folder without following links; regular files only are counted.
class DirectoryWalk {
public:
    explicit DirectoryWalk(const QString& path) : DirectoryWalk(AT_FDCWD, nativePath(path), path, O_RDONLY) {}
    // A subfolder, opened beside its parent's descriptor; a link is not followed.
    DirectoryWalk(const DirectoryWalk& parent, const char* name)
        : DirectoryWalk(::dirfd(parent.dir_), name, parent.path_ + QLatin1Char('/') + nativeName(name),
                        O_RDONLY | O_NOFOLLOW)
    {
    }
    ~DirectoryWalk()
    {
        if (dir_)
            ::closedir(dir_);
    }
    // False when the folder went away before it could be opened.
    bool exists() const { return dir_ != nullptr; }
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
                const int error = errno;
                if (error == ENOENT)  // gone while we looked: it no longer counts
                    continue;
                throw PlatformError(QStringLiteral("Kan '%1' in '%2' niet lezen: %3")
                                        .arg(nativeName(entry->d_name), path_, errorText(error)));
            }
            visit(entry->d_name, info);
            errno = 0;
        }
        if (errno != 0)
            throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(path_, errorText(errno)));
    }

private:
    DirectoryWalk(int at, const QByteArray& name, QString path, int flags) : path_(std::move(path))
    {
        const int fd = ::openat(at, name.constData(), flags | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0 && (dir_ = ::fdopendir(fd)))
            return;
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (error != ENOENT || at == AT_FDCWD)
            throw PlatformError(QStringLiteral("Kan de map '%1' niet lezen: %2").arg(path_, errorText(error)));
    }

    QString path_;
    DIR* dir_ = nullptr;
};

// Sparse files can claim sizes whose sum no number holds: the total stops at
// the largest one instead of wrapping round to a small or negative figure.
qint64 saturatedSum(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? std::numeric_limits<qint64>::max() : sum;
}

qint64 treeSize(DirectoryWalk& walk)
{
    qint64 bytes = 0;
    walk.each([&](const char* name, const struct stat& info) {
        if (S_ISREG(info.st_mode)) {
            bytes = saturatedSum(bytes, info.st_size);
        } else if (S_ISDIR(info.st_mode)) {
            DirectoryWalk subfolder(walk, name);
            if (subfolder.exists())
                bytes = saturatedSum(bytes, treeSize(subfolder));
        }
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
                names << nativeName(name);
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

    qint64 Size() override
    {
        DirectoryWalk walk(path_);
        return treeSize(walk);
    }

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
    const QString failure = QStringLiteral("Kan de map '%1' niet maken: %2");
    const QByteArray native = checkedNative(path, failure);
    // The new name is flushed too: a power cut would otherwise take the folder
    // away with the copies flushed into it, after their camera files had gone.
    const int error = ::mkdir(native.constData(), 0777) == 0 ? flushParent(native) : errno;
    if (error != 0)
        throw PlatformError(failure.arg(path, errorText(error)));
}

QByteArray LinuxFileSystem::FolderStamp(const QString& path)
{
    struct stat info {};
    if (!isPathText(path) || ::stat(nativePath(path).constData(), &info) != 0)
        return QByteArray();
    const qint64 parts[] = {qint64(info.st_dev),  qint64(info.st_ino), info.st_mtim.tv_sec,
                            info.st_mtim.tv_nsec, info.st_ctim.tv_sec, info.st_ctim.tv_nsec};
    return QByteArray(reinterpret_cast<const char*>(parts), sizeof parts);
}

}  // namespace zandrel
