#include "platform/linux/SafeCopy.h"

#include <xxhash.h>

#include <cerrno>
#include <fcntl.h>
#include <linux/magic.h>
#include <memory>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace zandrel::safecopy {

namespace {

// Large enough that a camera on USB streams at full speed.
constexpr size_t kBufferSize = size_t(1) << 20;
// A request waiting behind a read of this size waits about a third of a
// millisecond on a card of 90 MiB/s, and what a card streams ahead on its own
// covers the round trip between two such reads.
constexpr size_t kShortStep = size_t(32) << 10;
// What one copy_file_range call may take on, so that a signal or a stop is
// seen between calls even on a slow card.
constexpr size_t kKernelChunk = size_t(16) << 20;
// Written data is handed to the disk in steps of this size while the copy goes
// on, so that the flush at the end has little left to do and a stop is quick.
constexpr off_t kWriteBehind = off_t(8) << 20;

class Buffer {
public:
    char* data() { return bytes_.get(); }
    static constexpr size_t size() { return kBufferSize; }

private:
    std::unique_ptr<char[]> bytes_{new char[kBufferSize]};
};

class Checksum {
public:
    Checksum()
    {
        if (!state_ || XXH3_64bits_reset(state_.get()) != XXH_OK)
            fail(ENOMEM);
    }
    void add(const char* bytes, size_t length) { XXH3_64bits_update(state_.get(), bytes, length); }
    Hash value() const { return XXH3_64bits_digest(state_.get()); }

private:
    struct Free {
        void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
    };
    std::unique_ptr<XXH3_state_t, Free> state_{XXH3_createState()};
};

// Fills at most length bytes from the current offset; 0 at the end.
size_t readSome(int fd, char* bytes, size_t length)
{
    for (;;) {
        const ssize_t got = ::read(fd, bytes, length);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            fail(errno);
    }
}

size_t readSomeAt(int fd, char* bytes, size_t length, off_t offset)
{
    for (;;) {
        const ssize_t got = ::pread(fd, bytes, length, offset);
        if (got >= 0)
            return size_t(got);
        if (errno != EINTR)
            fail(errno);
    }
}

void writeAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t put = ::write(fd, bytes, length);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            fail(put < 0 ? errno : ENOSPC);
        bytes += put;
        length -= size_t(put);
    }
}

void checkStop(const CopyControl& control)
{
    if (control.stopped())
        fail(ECANCELED);
}

// Tells control how far the copy has got and fails when a stop was asked for.
class Progress {
public:
    Progress(const CopyControl& control, off_t total) : control_(control), total_(total) {}
    void advance(size_t bytes)
    {
        done_ += off_t(bytes);
        if (control_.progress)
            control_.progress(done_, total_);
        checkStop(control_);
    }
    off_t done() const { return done_; }

private:
    const CopyControl& control_;
    off_t done_ = 0;
    const off_t total_;
};

// Starts the disk's writing of what was written so far, in whole steps.
class WriteBehind {
public:
    explicit WriteBehind(int fd) : fd_(fd) {}
    void written(off_t end)
    {
        if (end - started_ < kWriteBehind)
            return;
        ::sync_file_range(fd_, started_, end - started_, SYNC_FILE_RANGE_WRITE);
        started_ = end;
    }

private:
    int fd_;
    off_t started_ = 0;
};

void copyLoop(int from, int to, Progress& progress, WriteBehind& writeBehind)
{
    Buffer buffer;
    while (const size_t got = readSome(from, buffer.data(), buffer.size())) {
        writeAll(to, buffer.data(), got);
        progress.advance(got);
        writeBehind.written(progress.done());
    }
}

// The kernel declines a copy between these two files: do it ourselves.
bool kernelDeclines(int error)
{
    return error == EXDEV || error == ENOSYS || error == EOPNOTSUPP || error == EINVAL || error == EBADF;
}

// Copies in the kernel for as long as it is willing; the offsets of both
// files move on, so a plain loop can take over where it stops.
void copyInKernel(int from, int to, Progress& progress, WriteBehind& writeBehind)
{
    for (;;) {
        const ssize_t moved = ::copy_file_range(from, nullptr, to, nullptr, kKernelChunk, 0);
        if (moved > 0) {
            progress.advance(size_t(moved));
            writeBehind.written(progress.done());
            continue;
        }
        if (moved == 0 || kernelDeclines(errno))
            return;
        if (errno != EINTR)
            fail(errno);
    }
}

// A card whose own file system driver runs as a FUSE daemon (exFAT or NTFS on
// an older system): the device numbers of its files are the card's, where
// other FUSE file systems (a camera over MTP, a network share) have none.
bool cardDrivenByFuse(int fd)
{
    static DeviceSet fuseCards;
    static DeviceSet others;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || major(info.st_dev) == 0 || others.contains(info.st_dev))
        return false;
    if (fuseCards.contains(info.st_dev))
        return true;
    struct statfs system {};
    const bool fuse = ::fstatfs(fd, &system) == 0 && system.f_type == FUSE_SUPER_MAGIC;
    (fuse ? fuseCards : others).insert(info.st_dev);
    return fuse;
}

// Such a daemon serves one request after the other, and readahead queues a
// copy's reads there 128 KiB or more at a time ahead of anything else. While
// the camera is emptied, every request of a camera file's deletion waited
// behind them, the run waited for the deletion, and the card for the run. So
// there a copy that is to be followed by a deletion reads without readahead,
// in steps short enough to let such a request through soon.
size_t readStep(int from)
{
    if (!cardDrivenByFuse(from))
        return kBufferSize;
    ::posix_fadvise(from, 0, 0, POSIX_FADV_RANDOM);
    return kShortStep;
}

}  // namespace

Hash hashContents(int fd, const CopyControl& control)
{
    Buffer buffer;
    Checksum checksum;
    off_t offset = 0;
    while (const size_t got = readSomeAt(fd, buffer.data(), buffer.size(), offset)) {
        checksum.add(buffer.data(), got);
        offset += off_t(got);
        checkStop(control);
    }
    return checksum.value();
}

Hash copyHashing(int from, int to, off_t size, const CopyControl& control)
{
    Buffer buffer;
    Checksum checksum;
    Progress progress(control, size);
    WriteBehind writeBehind(to);
    checkStop(control);
    const size_t step = readStep(from);
    while (const size_t got = readSome(from, buffer.data(), step)) {
        checksum.add(buffer.data(), got);
        writeAll(to, buffer.data(), got);
        progress.advance(got);
        writeBehind.written(progress.done());
    }
    return checksum.value();
}

void copyFast(int from, int to, off_t size, const CopyControl& control)
{
    Progress progress(control, size);
    WriteBehind writeBehind(to);
    checkStop(control);
    copyInKernel(from, to, progress, writeBehind);
    // Some file systems report 0 before the end; the loop reads on to the
    // real end, which costs one read when the kernel copied everything.
    copyLoop(from, to, progress, writeBehind);
}

void keepTimes(int fd, const struct stat& source)
{
    // Best effort: a file system that cannot store the time still gets the photo.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(fd, times);
}

void flushToDisk(int fd, const CopyControl& control)
{
    checkStop(control);
    if (::fsync(fd) != 0)
        fail(errno);
}

void verifyOnDisk(int fd, off_t size, Hash expected, const CopyControl& control)
{
    flushToDisk(fd, control);
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        fail(errno);
    if (info.st_size != size)
        fail(QStringLiteral("de kopie is %1 bytes groot in plaats van %2").arg(info.st_size).arg(size));
    // The pages are clean after fsync, so they can go: what follows is read from the disk.
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    if (hashContents(fd, control) != expected)
        fail(QStringLiteral("de kopie op schijf wijkt af van het origineel"));
}

}  // namespace zandrel::safecopy
