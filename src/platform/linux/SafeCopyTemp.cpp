#include "platform/linux/SafeCopy.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <set>
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

namespace {

// Calls visit(name) for each entry of the folder. Housekeeping only: a folder
// that cannot be read is passed over, the copy itself will report it.
template <typename Visit>
void eachEntry(int folder, Visit visit)
{
    const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    while (const dirent* entry = ::readdir(dir))
        visit(entry->d_name);
    ::closedir(dir);
}

// A claim holds its owner's text and nothing more; a photo never does.
bool isClaimOf(int folder, const char* name, const std::set<pid_t>& owners, struct stat& info)
{
    char text[64];
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)
        || info.st_size <= 0 || info.st_size >= off_t(sizeof text))
        return false;
    const Fd fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const ssize_t got = fd.get() < 0 ? -1 : ::read(fd.get(), text, sizeof text);
    if (got <= 0)
        return false;
    const QByteArray held(text, int(got));
    return std::any_of(owners.begin(), owners.end(), [&](pid_t owner) { return held == claimText(owner); });
}

}  // namespace

void sweepStaleTempFiles(int folder)
{
    std::set<pid_t> dead;
    eachEntry(folder, [&](const char* name) {
        const std::optional<pid_t> owner = tempOwner(name);
        if (owner && !isAlive(*owner) && isRegularFile(folder, name) && ::unlinkat(folder, name, 0) == 0)
            dead.insert(*owner);
    });
    // A run killed between claiming a name and renaming its copy onto it left
    // its temporary file too, so the folder is searched for claims only then.
    if (dead.empty())
        return;
    eachEntry(folder, [&](const char* name) {
        struct stat info {};
        if (isClaimOf(folder, name, dead, info))
            removeIfStill(folder, name, info);
    });
}

}  // namespace zandrel::safecopy
