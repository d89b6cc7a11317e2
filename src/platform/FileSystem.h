#pragma once

#include "platform/PlatformError.h"
#include "platform/StagedCopy.h"

#include <QDir>
#include <QByteArray>
#include <QString>
#include <QStringList>
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

struct Drive {
    qint64 freespace = 0;  // bytes an ordinary user may still write
    QString driveletter;   // what the user knows the drive by: label or mount point
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
    // Something that changes whenever an entry of the folder is added, removed
    // or renamed; empty when the file system cannot tell.
    virtual QByteArray FolderStamp(const QString& path)
    {
        (void)path;
        return QByteArray();
    }
    // The work on a camera file's contents, which may run on another thread;
    // the copy is then checked and published through what this gives back,
    // never replacing a file and never leaving a partial one under a photo's
    // name. Throws PlatformError when the copy cannot be made.
    virtual std::unique_ptr<StagedCopy> StageCopy(const QString& source, const QString& targetFolder, CopyCheck check,
                                                  const CopyControl& control) = 0;
    // Opens the folder that copies are about to go into once and keeps it
    // open while the hold lives (the readiness check before every run has
    // cleared what dead runs left there): StageCopy into the same folder text
    // then uses the folder opened here, whatever the path comes to name meanwhile. Throws
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
