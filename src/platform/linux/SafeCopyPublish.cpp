#include "platform/linux/SafeCopy.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace zandrel::safecopy {

namespace {

[[noreturn]] void failOrTaken(int error)
{
    if (error == EEXIST)
        throw NameTaken{};
    fail(error);
}

// The file system has no such call: a FUSE file system on libfuse 2 (exFAT,
// NTFS) answers EINVAL to a rename that must not replace, exFAT EPERM to a link.
bool missingCall(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP || error == EPERM; }

void publishUnnamed(int folder, int fd, const QByteArray& name)
{
    // Through /proc a link needs no capability; the descriptor itself needs
    // CAP_DAC_READ_SEARCH, so it is only the way out where /proc is missing.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    if (::linkat(AT_FDCWD, self.constData(), folder, name.constData(), AT_SYMLINK_FOLLOW) == 0)
        return;
    if (errno == ENOENT && ::linkat(fd, "", folder, name.constData(), AT_EMPTY_PATH) == 0)
        return;
    failOrTaken(errno);
}

// A file of our own under the name, made with O_EXCL so that it never takes a
// name that someone else holds. Removed again unless kept; should we be killed
// before the copy is renamed onto it, its text, or its being empty beside a
// temporary file that named it, lets a later run remove it.
class Claim {
public:
    Claim(int folder, const QByteArray& name, const QByteArray& text) : folder_(folder), name_(name)
    {
        const Fd fd(::openat(folder, name.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666));
        if (fd.get() < 0)
            failOrTaken(errno);
        errno = 0;
        const bool written = ::write(fd.get(), text.constData(), size_t(text.size())) == text.size();
        if (!written || ::fstat(fd.get(), &ours_) != 0) {
            const int error = errno != 0 ? errno : ENOSPC;  // a short write: the disk is full
            ::unlinkat(folder, name.constData(), 0);
            fail(error);
        }
        // Closed at once: FUSE keeps a file that is renamed over while open.
    }
    ~Claim()
    {
        if (!kept_)
            removeIfStill(folder_, name_, ours_);
    }
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;
    void keep() { kept_ = true; }

private:
    int folder_;
    QByteArray name_;
    struct stat ours_ {};
    bool kept_ = false;
};

void renameOverClaim(int folder, TempFile& temp, const QByteArray& name)
{
    struct stat taken {};
    if (::fstatat(folder, name.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
        throw NameTaken{};
    // Said before the claim exists: a run killed after creating it leaves a
    // temporary file that names it, even when the claim is still empty.
    temp.nameTarget(name);
    Claim claim(folder, name, claimText(temp.name()));
    if (::renameat(folder, temp.name().constData(), folder, name.constData()) != 0)
        fail(errno);
    claim.keep();
}

void publishNamed(int folder, TempFile& tempFile, const QByteArray& name)
{
    const QByteArray& temp = tempFile.name();
    if (::renameat2(folder, temp.constData(), folder, name.constData(), RENAME_NOREPLACE) == 0)
        return;
    if (!missingCall(errno))
        failOrTaken(errno);
    if (::linkat(folder, temp.constData(), folder, name.constData(), 0) == 0) {
        // Should this fail, the name is still a second link to a complete copy.
        ::unlinkat(folder, temp.constData(), 0);
        return;
    }
    if (!missingCall(errno))
        failOrTaken(errno);
    renameOverClaim(folder, tempFile, name);
}

}  // namespace

QByteArray claimText(const QByteArray& tempName) { return "zandrel-claim " + tempName + '\n'; }

void publish(int folder, TempFile& temp, const QByteArray& name)
{
    // The names of temporary files are kept free of photos, so that clearing
    // a dead run's leftovers can never take one.
    if (isTempName(name))
        throw NameTaken{};
    if (temp.named()) {
        publishNamed(folder, temp, name);
    } else {
        publishUnnamed(folder, temp.fd(), name);
    }
    temp.markPublished();
}

void syncFolder(int folder, int fd, const QByteArray& name, bool linked)
{
    // A file given its name by a link is flushed once more after it, as some
    // file systems (btrfs) only bring the new name back from their log with
    // the file's own flush. Its pages are clean by now: this costs little.
    if ((!linked || ::fsync(fd) == 0) && ::fsync(folder) == 0)
        return;
    const int error = errno;
    struct stat ours {};
    if (::fstat(fd, &ours) == 0)
        removeIfStill(folder, name, ours);
    fail(error);
}

namespace {

// On a FUSE card every call that fails there still costs a look-up of the new
// name by the card's file system; without them, a rename takes the long way round.
DeviceSet devicesWithoutEither;

// Renames without replacing by the calls made for it; false when the file
// system has neither.
bool renameByCalls(int folder, const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(folder, from.constData(), folder, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (!missingCall(errno))
        failOrTaken(errno);
    if (::linkat(folder, from.constData(), folder, to.constData(), 0) == 0) {
        if (::unlinkat(folder, from.constData(), 0) == 0)
            return true;
        const int error = errno;
        ::unlinkat(folder, to.constData(), 0);
        fail(error);
    }
    if (!missingCall(errno))
        failOrTaken(errno);
    return false;
}

}  // namespace

void renameToUnguessable(int folder, const QByteArray& from, const QByteArray& to, dev_t device)
{
    if (!devicesWithoutEither.contains(device)) {
        if (renameByCalls(folder, from, to))
            return;
        devicesWithoutEither.insert(device);
    }
    struct stat taken {};
    if (::fstatat(folder, to.constData(), &taken, AT_SYMLINK_NOFOLLOW) == 0)
        throw NameTaken{};
    if (errno != ENOENT)
        fail(errno);
    if (::renameat(folder, from.constData(), folder, to.constData()) != 0)
        fail(errno);
}

void renameNoReplace(int folder, const QByteArray& from, const QByteArray& to)
{
    if (renameByCalls(folder, from, to))
        return;
    // The new name claimed with an empty file of our own, closed at once
    // (FUSE keeps a file that is renamed over while open), then renamed over.
    struct stat claimed {};
    {
        const Fd claim(::openat(folder, to.constData(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600));
        if (claim.get() < 0)
            failOrTaken(errno);
        if (::fstat(claim.get(), &claimed) != 0) {
            const int error = errno;
            ::unlinkat(folder, to.constData(), 0);
            fail(error);
        }
    }
    if (::renameat(folder, from.constData(), folder, to.constData()) != 0) {
        const int error = errno;
        removeIfStill(folder, to, claimed);
        fail(error);
    }
}

void removeIfStill(int folder, const QByteArray& name, const struct stat& ours)
{
    struct stat now {};
    if (::fstatat(folder, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(now, ours)
        && now.st_size == ours.st_size)
        ::unlinkat(folder, name.constData(), 0);
}

}  // namespace zandrel::safecopy
