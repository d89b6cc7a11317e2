#include "platform/linux/SafeCopy.h"

#include "platform/linux/NativePath.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <map>
#include <cctype>
#include <unistd.h>

namespace zandrel::safecopy {

namespace {

// Hidden, of a form that no published copy may take (see publish), and unique
// by a random part. The pid is there for whoever looks; whether the writer
// lives is told by its lock, which holds across pid namespaces. Right before
// it claims its target's name the file is renamed to carry a hash of that
// name, so that a later run knows which name a killed run may have claimed.
constexpr char kTempPrefix[] = ".zandrel-tmp-";
constexpr int kRandomLength = 16;
constexpr int kHashLength = 8;
// New names tried when a fresh file's lock cannot be taken, before the copy fails.
constexpr int kLockAttempts = 5;

QByteArray tempName() { return uniqueName(kTempPrefix, kRandomLength); }

// FNV-1a: stable across runs and builds, which is all a name's hash needs.
QByteArray nameHash(const QByteArray& name)
{
    quint32 hash = 2166136261u;
    for (const char c : name)
        hash = (hash ^ quint8(c)) * 16777619u;
    return QByteArray::number(hash, 16).rightJustified(kHashLength, '0');
}

bool allOf(const QByteArray& text, bool (*accept)(int)) { return std::all_of(text.begin(), text.end(), accept); }
bool isHexDigit(int c) { return std::isdigit(c) || (c >= 'a' && c <= 'f'); }

// What a temporary file's name says of the name it was about to claim: an
// empty hash for a file that claims none yet.
struct Claiming {
    QByteArray hash;
    qint64 since = 0;  // seconds since the epoch when it was about to claim it
};

// Nothing for a name of any other form than TempFile's.
std::optional<Claiming> claimingOf(const QByteArray& name)
{
    if (!name.startsWith(kTempPrefix))
        return std::nullopt;
    const QList<QByteArray> parts = name.mid(sizeof kTempPrefix - 1).split('-');
    const auto digits = [](const QByteArray& part) {
        return !part.isEmpty() && part.size() <= 19 && allOf(part, [](int c) { return std::isdigit(c) != 0; });
    };
    if ((parts.size() != 2 && parts.size() != 4) || !digits(parts[0]) || parts[1].size() != kRandomLength
        || !allOf(parts[1], [](int c) { return std::isalnum(c) != 0; }))
        return std::nullopt;
    if (parts.size() == 2)
        return Claiming{};
    if (parts[2].size() != kHashLength || !allOf(parts[2], isHexDigit) || !digits(parts[3]))
        return std::nullopt;
    return Claiming{parts[2], parts[3].toLongLong()};
}

// Read while the program starts, before any thread could create a file; the
// program never changes it, so there is no need to look again per file.
const mode_t kMaskAtStart = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}();

// An open file description's lock on the whole file: the kernel's own, so it
// is seen by every process on this machine, in any pid namespace.
bool noUnnamedFiles(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS; }

}  // namespace

bool isTempName(const QByteArray& name) { return claimingOf(name).has_value(); }

QByteArray claimingName(const QByteArray& temp, const QByteArray& target, qint64 since)
{
    return temp + '-' + nameHash(target) + '-' + QByteArray::number(since);
}

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
    int lockError = 0;
    for (int attempt = 0, unlocked = 0; attempt < 100 && unlocked < kLockAttempts; ++attempt) {
        const QByteArray name = tempName();
        // Only its writer may open it, so that no other user can take a lock
        // on it first.
        fd_ = Fd(::openat(folder_, name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600));
        if (fd_.get() < 0 && errno != EEXIST)
            fail(errno);
        if (fd_.get() < 0)
            continue;
        if (!lockWhole(fd_.get(), F_WRLCK, F_OFD_SETLK)) {
            lockError = errno;
            ++unlocked;
            dropUnlocked(name);
        } else if (stillNamed(name)) {
            base_ = name_ = name;
            return;
        }
    }
    if (lockError != 0)
        fail(QStringLiteral("de tijdelijke kopie kan niet vergrendeld worden: %1").arg(errorText(lockError)));
    fail(EEXIST);
}

// Between its creation and its lock the file looks abandoned, and another run
// may have swept it: then it is no longer under its name, and another is tried.
bool TempFile::stillNamed(const QByteArray& name) const
{
    struct stat held {};
    struct stat named {};
    return ::fstat(fd_.get(), &held) == 0 && ::fstatat(folder_, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && sameFile(held, named);
}

// Unlocked, the file would look abandoned to a sweep while it is written.
void TempFile::dropUnlocked(const QByteArray& name)
{
    struct stat ours {};
    const bool known = ::fstat(fd_.get(), &ours) == 0;
    fd_.reset();  // closed first, as in the destructor
    if (known)
        removeIfStill(folder_, name, ours);
}

void TempFile::takeUsualMode()
{
    // Best effort, like the times: a file system without modes still gets the photo.
    ::fchmod(fd_.get(), 0666 & ~kMaskAtStart);
}

void TempFile::nameTarget(const QByteArray& target)
{
    const QByteArray claiming = claimingName(base_, target, QDateTime::currentSecsSinceEpoch());
    if (::renameat(folder_, name_.constData(), folder_, claiming.constData()) != 0)
        fail(errno);
    name_ = claiming;
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

// A temporary file that no writer holds, opened with its lock taken, so that
// no writer can come to hold it while it is cleared. Nothing where its lock
// cannot be taken (a live writer, no locks on this file system, no right to
// read it): then it stays.
Fd holdIfAbandoned(int folder, const char* name)
{
    Fd fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held {};
    struct stat named {};
    if (fd.get() >= 0 && lockWhole(fd.get(), F_RDLCK, F_OFD_SETLK) && ::fstat(fd.get(), &held) == 0
        && S_ISREG(held.st_mode) && ::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named))
        return fd;
    return Fd();
}

void removeHeld(int folder, const QByteArray& name, const Fd& fd)
{
    struct stat held {};
    struct stat named {};
    if (::fstat(fd.get(), &held) == 0 && ::fstatat(folder, name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && sameFile(held, named))
        ::unlinkat(folder, name.constData(), 0);
}

struct DeadRun {
    QByteArray temp;  // the name of the temporary file it left
    qint64 since = 0;
    Fd held;  // that file, locked
};

// What a killed run's claim can hold: its text, or nothing when the run died
// between creating the claim and writing to it. The name must be the one the
// dead run's temporary file said it was about to claim, and an empty file
// must have been made within moments of that (exFAT keeps times to 2 s), so
// that an empty photo put there later is never taken for it.
bool isClaimOf(int folder, const char* name, const DeadRun& dead, struct stat& info)
{
    const QByteArray expected = claimText(dead.temp);
    if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)
        || info.st_size > expected.size())
        return false;
    if (info.st_size == 0)
        return info.st_mtim.tv_sec >= dead.since - 2 && info.st_mtim.tv_sec <= dead.since + 2;
    const Fd fd(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    QByteArray held(expected.size() + 1, '\0');
    const ssize_t got = fd.get() < 0 ? -1 : ::read(fd.get(), held.data(), size_t(held.size()));
    return got == expected.size() && held.left(got) == expected;
}

}  // namespace

QByteArray uniqueName(const char* prefix, int randomLetters)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name = prefix + QByteArray::number(::getpid()) + '-';
    for (int i = 0; i < randomLetters; ++i)
        name += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return name;
}

bool lockWhole(int fd, short type, int command)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, command, &lock) == 0;
}

void sweepStaleTempFiles(int folder, std::vector<QByteArray>* others)
{
    std::multimap<QByteArray, DeadRun> claiming;  // by the hash of the name each was about to claim
    eachEntry(folder, [&](const char* name) {
        const std::optional<Claiming> about = claimingOf(name);
        if (!about && others)
            others->emplace_back(name);
        Fd held = about ? holdIfAbandoned(folder, name) : Fd();
        if (held.get() < 0)
            return;
        if (about->hash.isEmpty())
            removeHeld(folder, name, held);
        else
            claiming.emplace(about->hash, DeadRun{name, about->since, std::move(held)});
    });
    // A run killed between claiming a name and renaming its copy onto it left
    // its temporary file too, so the folder is searched for claims only then.
    if (claiming.empty())
        return;
    eachEntry(folder, [&](const char* name) {
        const auto [first, last] = claiming.equal_range(nameHash(name));
        struct stat info {};
        if (!isTempName(name)
            && std::any_of(first, last, [&](const auto& dead) { return isClaimOf(folder, name, dead.second, info); }))
            removeIfStill(folder, name, info);
    });
    // Only now its temporary file: were this run killed before, that file
    // would still tell the next one which claim is a dead run's.
    for (const auto& [hash, dead] : claiming)
        removeHeld(folder, dead.temp, dead.held);
}

}  // namespace zandrel::safecopy
