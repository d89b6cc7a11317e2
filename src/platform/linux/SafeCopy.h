#pragma once

// The pieces of the staged copy (LinuxFileSystem::StageCopy). A camera file may
// exist nowhere else, so the copy is written under a temporary name, checked
// when asked, and only then published under a name that it can never replace.

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace zandrel::safecopy {

// One step failed; the reason completes the copy's error text.
struct StepFailed {
    QString reason;
};

// The target name was taken by someone else before the copy could have it.
struct NameTaken {};

[[noreturn]] void fail(int error);
[[noreturn]] void fail(const QString& reason);

// Owns one file descriptor and closes it when dropped.
class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    void reset();

private:
    int fd_ = -1;
};

// Device numbers of the file systems found to have, or to lack, something,
// kept for the process because on a FUSE card every ask is a request to the
// card's file system. A device number used again by another file system finds
// the first one's answer, so a set may only ever send that one a slower way,
// never a less safe one.
class DeviceSet {
public:
    bool contains(dev_t device) const
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        return devices_.count(device) != 0;
    }
    void insert(dev_t device)
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        devices_.insert(device);
    }

private:
    mutable std::mutex mutex_;
    std::set<dev_t> devices_;
};

// Whether two looks at a file found the very same file.
inline bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The source opened once for reading, never through a link; info is its one stat.
Fd openSource(const QByteArray& path, struct stat& info);
// Fails when the path no longer names the file that was opened as it was then,
// or the descriptor's file changed since (appended to, rewritten, replaced).
void checkSourceUnchanged(const QByteArray& path, const struct stat& opened, int fd = -1);
// The folder copies go into. Its last level is opened beside its parent
// without following a link, and refused when another user made it (or a link
// to it) in a folder that everyone may write to, unless that user owns the
// folder; a link of this user or the folder's owner is followed.
Fd openFolder(const QByteArray& path);

// The copy while it is being written, inside the target's folder: an unnamed
// file where the file system has them, else a hidden file of a reserved name
// form that holds a lock for as long as its writer lives. Removed when
// dropped, unless it was published.
class TempFile {
public:
    explicit TempFile(int folder);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    int fd() const { return fd_.get(); }
    bool named() const { return !name_.isEmpty(); }
    const QByteArray& name() const { return name_; }
    void markPublished() { published_ = true; }
    // The mode a file created under the copy's name would have had: the named
    // file is made for its writer alone while it is written.
    void takeUsualMode();
    // Renamed to say which name it is about to claim, before the claim exists;
    // again for each name it tries.
    void nameTarget(const QByteArray& target);

private:
    void createNamed();
    bool stillNamed(const QByteArray& name) const;
    void dropUnlocked(const QByteArray& name);

    int folder_;
    Fd fd_;
    QByteArray base_;  // the name it was created under, that every claiming name extends
    QByteArray name_;
    bool published_ = false;
};

// prefix, this process's id, a dash and randomLetters random letters and digits:
// a name of this run's own that tells whoever looks which process made it.
QByteArray uniqueName(const char* prefix, int randomLetters);

// An open-file-description lock (F_OFD_SETLK, F_OFD_GETLK) of the given type
// over the whole file; false with errno where it cannot be had.
bool lockWhole(int fd, short type, int command);

// Removes the temporary files that runs which are no longer alive left here,
// and the names those runs had claimed but not yet filled. The names of the
// other entries go to others, when given, so the folder is read once.
void sweepStaleTempFiles(int folder, std::vector<QByteArray>* others = nullptr);

// A name of the form TempFile gives its files. No copy is ever published
// under one, so a file of that form is never a photo.
bool isTempName(const QByteArray& name);

// The name a temporary file takes when, at the time since, it is about to
// claim target.
QByteArray claimingName(const QByteArray& temp, const QByteArray& target, qint64 since);

// What a claimed name holds until the finished copy is renamed onto it: the
// name of the temporary file that claims it, which tells a dead run's claim
// from a photo, and from a live run's claim.
QByteArray claimText(const QByteArray& tempName);

using Hash = std::uint64_t;

// Copies to the end of the source and returns a checksum of what was read;
// size is the source's size as last seen, for the progress shown. A stop asked
// for in control fails the copy between two chunks. From a card that a FUSE
// daemon drives it reads in short steps, without readahead.
Hash copyHashing(int from, int to, off_t size, const CopyControl& control = {});
// Copies in the kernel where it offers that, else through a buffer.
void copyFast(int from, int to, off_t size, const CopyControl& control = {});
void keepTimes(int fd, const struct stat& source);
// Flushes the copy to the disk.
void flushToDisk(int fd, const CopyControl& control = {});
// Flushes the copy, checks its size and compares what the disk gives back.
void verifyOnDisk(int fd, off_t size, Hash expected, const CopyControl& control = {});
// A checksum of the file's whole contents, read from its start.
Hash hashContents(int fd, const CopyControl& control = {});

// Makes the finished copy appear under name without ever replacing a file.
void publish(int folder, TempFile& temp, const QByteArray& name);
// Flushes the folder, after the copy again when it was linked (an unnamed file
// given its name); when that fails the copy is taken back out again.
void syncFolder(int folder, int fd, const QByteArray& name, bool linked);

// Removes name when it is still the file described by ours.
void removeIfStill(int folder, const QByteArray& name, const struct stat& ours);

// Renames within one folder, never replacing a file: NameTaken when to exists.
void renameNoReplace(int folder, const QByteArray& from, const QByteArray& to);

// The same for a name that holds random letters of this run's, which nobody
// else can know: where the file system has neither a rename that never
// replaces nor links, the name is looked up and then renamed to, without the
// claim that costs the folder two more changes. `device` is the folder's.
void renameToUnguessable(int folder, const QByteArray& from, const QByteArray& to, dev_t device);

// Deletes the camera file at path, which the copy opened as source and looked
// at once (info, at the time lookedAt), and whose bytes had the checksum read;
// only while it is still that very file, unchanged. See SafeCopyDelete.cpp.
void deleteUnchanged(const QByteArray& path, Fd& source, const struct stat& info, const struct timespec& lookedAt,
                     Hash read);
// Puts the camera files that a run which is no longer alive had moved aside
// to delete them back under their own names, where those are free; names are
// the folder's entries, as the sweep of its temporary files passed them on.
void putBackAbandoned(int folder, const std::vector<QByteArray>& names);

}  // namespace zandrel::safecopy
