// Deleting a camera file whose copy is safe. Checked by its path and then
// unlinked by its path, a camera file could be swapped, appended to or
// rewritten in between, and that would go unchecked. So the file is first
// moved to a private name in its own folder, where nothing put under its
// own name can be taken for it, checked there and only then unlinked; on any
// doubt it is put back.
#include "platform/linux/SafeCopy.h"

#include "platform/linux/NativePath.h"

#include <optional>
#include <utility>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace zandrel::safecopy {

namespace {

constexpr char kAsidePrefix[] = ".zandrel-del-";
constexpr int kAsideAttempts = 5;
constexpr int kRandomLetters = 16;
constexpr qsizetype kLongestName = 255;

QString changedText() { return QStringLiteral("het bestand op de camera is veranderd sinds het gekopieerd werd"); }

// The kernel keeps these file systems' change times itself, finely, and
// nobody can set them; elsewhere (exFAT, FAT or NTFS, through FUSE or not)
// the change time is the modification time, in whole seconds and settable.
bool keepsChangeTimesHere(int fd)
{
    struct statfs info {};
    if (::fstatfs(fd, &info) != 0)
        return false;
    switch (info.f_type) {
    case EXT4_SUPER_MAGIC:  // ext2 and ext3 too
    case BTRFS_SUPER_MAGIC:
    case XFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case F2FS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// Only a "no" is remembered: a wrong "yes" would skip the comparison of the bytes.
bool keepsChangeTimes(int fd, dev_t device)
{
    static DeviceSet without;
    if (without.contains(device))
        return false;
    if (keepsChangeTimesHere(fd))
        return true;
    without.insert(device);
    return false;
}

// Whether any change since lookedAt shows in the file's change time. Not
// when the file changed so shortly before that a change in the same tick of
// the kernel's coarse clock would leave the time as it was.
bool timesTellChanges(int fd, const struct stat& info, const struct timespec& lookedAt)
{
    return keepsChangeTimes(fd, info.st_dev) && info.st_ctim.tv_sec < lookedAt.tv_sec - 1;
}

// The private name carries the camera file's own name, so that a run killed
// before it could unlink the file lets the next one put it back: nothing tells
// a power cut between the move and the unlink from a failed check.
QByteArray asideName(const QByteArray& name)
{
    const QByteArray aside = uniqueName(kAsidePrefix, kRandomLetters);
    return aside.size() + 1 + name.size() <= kLongestName ? aside + '-' + name : aside;
}

// The camera file's own name in a private name, and the run that gave it;
// nothing when the name is not one of those.
std::optional<std::pair<QByteArray, pid_t>> ownNameOf(const QByteArray& aside)
{
    if (!aside.startsWith(kAsidePrefix))
        return std::nullopt;
    const QByteArray rest = aside.mid(qsizetype(sizeof kAsidePrefix) - 1);
    const qsizetype dash = rest.indexOf('-');
    bool number = false;
    const pid_t pid = dash > 0 ? pid_t(rest.left(dash).toLong(&number)) : 0;
    const qsizetype nameAt = dash + 1 + kRandomLetters + 1;
    if (!number || rest.size() <= nameAt || rest.at(nameAt - 1) != '-')
        return std::nullopt;
    return std::make_pair(rest.mid(nameAt), pid);
}

// The run that moves a camera file aside holds a lock on it until it has
// unlinked it. Where the file system keeps no locks, its process is asked after.
bool abandonedAside(int folder, const char* aside, pid_t mover)
{
    const Fd fd(::openat(folder, aside, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fd.get() >= 0 && ::fcntl(fd.get(), F_OFD_GETLK, &lock) == 0)
        return lock.l_type == F_UNLCK;
    return mover != ::getpid() && ::kill(mover, 0) != 0 && errno == ESRCH;
}

QByteArray moveAside(int folder, const QByteArray& name, dev_t device)
{
    for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
        const QByteArray aside = asideName(name);
        try {
            renameToUnguessable(folder, name, aside, device);
            return aside;
        } catch (const NameTaken&) {
        }
    }
    fail(EEXIST);
}

// The move aside itself gives the file a new change time, so from there on
// the same file of the same size and modification time is all its times say.
bool sameSinceMoved(const struct stat& a, const struct stat& b)
{
    return sameFile(a, b) && a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec
        && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The file under the private name is the one that was copied, as it was
// then; where its times cannot tell, its bytes are read and compared again.
// Up to the move its change time was checked too, by its old name.
void checkAside(int folder, const QByteArray& aside, int source, const struct stat& info,
                const struct timespec& lookedAt, Hash read)
{
    const auto unchanged = [&] {
        struct stat named {};
        struct stat held {};
        return ::fstatat(folder, aside.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0 && sameSinceMoved(named, info)
            && ::fstat(source, &held) == 0 && sameSinceMoved(held, info);
    };
    // Where the bytes are compared, the look after them is the one that counts.
    if (timesTellChanges(source, info, lookedAt)) {
        if (!unchanged())
            fail(changedText());
        return;
    }
    // Its pages are usually still cached from the copy, so this rarely reads the card again.
    if (hashContents(source) != read || !unchanged())
        fail(changedText());
}

// Never over a file that took the name meanwhile: then the camera file stays
// under its private name, and the reason says where it is.
QString putBack(int folder, const QByteArray& aside, const QByteArray& name, const QString& reason)
{
    try {
        renameNoReplace(folder, aside, name);
        return reason;
    } catch (const NameTaken&) {
    } catch (const StepFailed&) {
    }
    return reason + QStringLiteral("; het bestand staat nu als '%1' op de camera").arg(nativeName(aside));
}

}  // namespace

void deleteUnchanged(const QByteArray& path, Fd& source, const struct stat& info, const struct timespec& lookedAt,
                     Hash read)
{
    const QByteArray name = path.mid(path.lastIndexOf('/') + 1);
    // Only named through, never read: on FUSE this saves the card's file
    // system an open and a release of the folder for every deletion.
    const Fd folder(::open(parentFolder(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        fail(errno);
    lockWhole(source.get(), F_RDLCK, F_OFD_SETLK);  // tells a later run this file is still being deleted
    const QByteArray aside = moveAside(folder.get(), name, info.st_dev);
    try {
        checkAside(folder.get(), aside, source.get(), info, lookedAt, read);
        // Closed first: FUSE keeps a removed file that is still open under a
        // hidden name of its own, which outlives a daemon that dies.
        source.reset();
        if (::unlinkat(folder.get(), aside.constData(), 0) != 0)
            fail(errno);
    } catch (const StepFailed& failure) {
        throw StepFailed{putBack(folder.get(), aside, name, failure.reason)};
    }
}

void putBackAbandoned(int folder, const std::vector<QByteArray>& names)
{
    for (const QByteArray& aside : names) {
        const auto own = ownNameOf(aside);
        if (!own || !abandonedAside(folder, aside.constData(), own->second))
            continue;
        const QByteArray& name = own->first;
        try {
            renameNoReplace(folder, aside, name);
        } catch (const NameTaken&) {
            // Where a file system has no rename that never replaces, the
            // private name is claimed with an empty file first, and a run
            // killed before it moved the camera file onto it left just that.
            struct stat info {};
            if (::fstatat(folder, aside.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode)
                && info.st_size == 0)
                removeIfStill(folder, aside, info);
        } catch (const StepFailed&) {
        }
    }
}

}  // namespace zandrel::safecopy
