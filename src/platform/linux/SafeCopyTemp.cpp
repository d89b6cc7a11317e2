#include "platform/linux/SafeCopy.h"

#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace zandrel::safecopy {

namespace {

// Hidden, recognisable, and naming the process that writes it, so that a
// later run can tell a dead run's leftover from a copy still in progress.
constexpr char kTempPrefix[] = ".zandrel-tmp-";
constexpr int kRandomLength = 6;

QByteArray tempName()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = kTempPrefix + QByteArray::number(::getpid()) + '-';
    for (int i = 0; i < kRandomLength; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

// The pid in a name made by tempName, or nothing for any other name.
std::optional<pid_t> tempOwner(const char* name)
{
    const size_t prefix = sizeof kTempPrefix - 1;
    if (std::strncmp(name, kTempPrefix, prefix) != 0)
        return std::nullopt;
    const QByteArray rest(name + prefix);
    const qsizetype dash = rest.indexOf('-');
    if (dash <= 0 || rest.size() - dash - 1 != kRandomLength)
        return std::nullopt;
    bool isNumber = false;
    const qlonglong pid = rest.left(dash).toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid != pid_t(pid))
        return std::nullopt;
    return pid_t(pid);
}

bool isAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

bool isRegularFile(int folder, const char* name)
{
    struct stat info {};
    return ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode);
}

bool noUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS; }

}  // namespace

TempFile::TempFile(int folder) : folder_(folder)
{
    fd_ = Fd(::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (fd_.get() >= 0)
        return;
    if (!noUnnamedFiles(errno))
        fail(errno);
    createNamed();
}

void TempFile::createNamed()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = tempName();
        fd_ = Fd(::openat(folder_, name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666));
        if (fd_.get() >= 0) {
            name_ = name;
            return;
        }
        if (errno != EEXIST)
            fail(errno);
    }
    fail(EEXIST);
}

TempFile::~TempFile()
{
    // Closed first: FUSE file systems keep an open file that is removed
    // alive under a hidden name of their own.
    fd_.reset();
    if (named() && !published_)
        ::unlinkat(folder_, name_.constData(), 0);
}

void sweepStaleTempFiles(int folder)
{
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {  // housekeeping only: the copy itself will report a folder it cannot use
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> owner = tempOwner(entry->d_name);
        if (owner && !isAlive(*owner) && isRegularFile(folder, entry->d_name))
            ::unlinkat(folder, entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace zandrel::safecopy
