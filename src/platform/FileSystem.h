#pragma once

#include "platform/PlatformError.h"

#include <QDir>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>

namespace zandrel {

// Paths are plain text joined with the system's separator and never normalised.
#ifdef _WIN32
inline constexpr QChar kPathSeparator = QLatin1Char('\\');
#else
inline constexpr QChar kPathSeparator = QLatin1Char('/');
#endif

inline QString joinPath(const QString& folder, const QString& name) { return folder + kPathSeparator + name; }

// A folder as the file manager is to get it: a relative one is put below the
// current folder, so that it can never pass for an option ("-x") or a web
// address ("http://x"). Nothing else about the text is changed.
inline QString absoluteFolder(const QString& path) { return QDir::current().absoluteFilePath(path); }

// A file name as a person can read it. A name the system gave as bytes that
// are no text holds lone surrogates, one per such byte; each is shown as the
// replacement character. The name itself is kept for the file system.
inline QString readableName(QString name)
{
    for (qsizetype at = 0; at < name.size(); ++at) {
        const bool paired = name.at(at).isHighSurrogate() && at + 1 < name.size() && name.at(at + 1).isLowSurrogate();
        if (paired)
            ++at;
        else if (name.at(at).isSurrogate())
            name[at] = QChar::ReplacementCharacter;
    }
    return name;
}

// The name was free when it was chosen but another writer took it before the
// copy could be published under it; the caller picks the next free name.
class TargetTaken : public PlatformError {
public:
    using PlatformError::PlatformError;
};

struct Drive {
    qint64 freespace = 0;   // bytes an ordinary user may still write
    QString driveletter;    // what the user knows the drive by: label or mount point
};

// A folder as the file system finds it when asked; every call looks afresh.
class Folder {
public:
    virtual ~Folder() = default;
    virtual QStringList Files() = 0;  // names of the regular files directly in it, in name order
    virtual qint64 Count() = 0;       // how many of those there are
    virtual qint64 Size() = 0;        // bytes of all regular files below it, subfolders included;
                                      // at most the largest qint64, never wrapped round
};

enum class CopyCheck {
    Plain,         // the source stays: a fast copy, flushed before it takes a photo's name
    VerifiedOnDisk // the source will be deleted: flush, read back and compare first
};

// What the work on a file's contents listens to while it runs off the window's
// thread: a stop asked for, and where it has got to.
struct CopyControl {
    const std::atomic<bool>* cancelled = nullptr;       // looked at between chunks
    std::function<void(qint64 done, qint64 total)> progress;  // bytes; called from the working thread
    bool stopped() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
};

// A camera file copied into a target folder under no name yet. Dropped before it
// is published, it leaves nothing behind, and the camera file is untouched.
// Staging, verifying and flushing may run on any thread; the rest on the caller's.
class StagedCopy {
public:
    virtual ~StagedCopy() = default;
    // The camera file's size, from the one look the copy took at it.
    virtual qint64 size() const = 0;
    // Flushed to the disk, so that a photo's name never shows a short copy
    // after a power cut; a verified copy is then read back and compared.
    virtual void verify(const CopyControl& control) = 0;
    // Makes the copy appear under target, never replacing a file; throws
    // TargetTaken when the name was taken meanwhile. Fails when the camera file
    // is no longer the one that was copied.
    virtual void publish(const QString& target) = 0;
    // For a verified copy: the name it was published under flushed to disk.
    // May wait for the disk. When it fails the copy is taken back out again.
    virtual void flushName() = 0;
    // Deletes the camera file, only when its copy was verified, published and
    // its name flushed, when it is still the one that was copied and it is
    // not write-protected.
    virtual void deleteSource() = 0;
};

// Keeps a folder open for as long as it lives; see FileSystem::HoldFolder.
class FolderHold {
public:
    virtual ~FolderHold() = default;
};

// Every file and folder operation of the program. FolderExists and FileExists
// never fail; every other operation throws PlatformError when it cannot do its work.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    virtual bool FolderExists(const QString& path) = 0;
    virtual bool FileExists(const QString& path) = 0;
    virtual std::unique_ptr<Folder> GetFolder(const QString& path) = 0;
    virtual QString GetDriveName(const QString& path) = 0;
    virtual Drive GetDrive(const QString& driveName) = 0;
    virtual void CreateFolder(const QString& path) = 0;
    // Never replaces an existing file and never leaves a partial file under the
    // target's name. Throws TargetTaken when the name was taken meanwhile.
    virtual void CopyFile(const QString& source, const QString& target, CopyCheck check) = 0;
    virtual void DeleteFile(const QString& path) = 0;
    // Something that changes whenever an entry of the folder is added, removed
    // or renamed; empty when the file system cannot tell.
    virtual QByteArray FolderStamp(const QString& path) { (void)path; return QByteArray(); }
    // CopyFile in two halves: the work on the contents, which may run on another
    // thread, and the publishing. Throws PlatformError like CopyFile.
    virtual std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder,
                                                  CopyCheck check, const CopyControl& control) = 0;
    // Opens the folder that copies are about to go into once and keeps it
    // open while the hold lives (the readiness check before every run has
    // cleared what dead runs left there):
    // StageCopy and CopyFile into the same folder text then use the folder
    // opened here, whatever the path comes to name meanwhile. Throws
    // PlatformError when it cannot be opened, or when another user planted it
    // (or a link to it) in a folder that everyone may write to.
    virtual std::unique_ptr<FolderHold> HoldFolder(const QString& path)
    {
        (void)path;
        return std::make_unique<FolderHold>();
    }
    // Removes what copies of runs that are no longer alive left in the folder
    // (temporary copies, names claimed and never filled), so that they take
    // no room and no name, and puts back under its own name a camera file such
    // a run had moved aside to delete it. Never fails: a folder it cannot read or may not
    // trust is left as it is.
    virtual void ClearLeftovers(const QString& folder) { (void)folder; }
};

}  // namespace zandrel
