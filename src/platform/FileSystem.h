#pragma once

#include "platform/PlatformError.h"

#include <QDir>
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
    Plain,         // the source stays: a fast copy is enough
    VerifiedOnDisk // the source will be deleted: flush, read back and compare first
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
};

}  // namespace zandrel
