#pragma once

#include "platform/FileSystem.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace zandrel {

inline void PrintTo(CopyCheck check, std::ostream* out) { *out << (check == CopyCheck::Plain ? "Plain" : "VerifiedOnDisk"); }

}  // namespace zandrel

namespace zandrel::test {

// How a program run to its end went.
struct Finished {
    int exitCode = -1;
    bool crashed = false;  // killed by a signal
    QString output;        // stdout and stderr together
};

// Names the cases of a suite run with both checks.
inline std::string checkName(const ::testing::TestParamInfo<CopyCheck>& info)
{
    return ::testing::PrintToString(info.param);
}

Finished runToEnd(const QString& program, const QStringList& arguments);

// A file of the given bytes; the folder must exist.
void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
QByteArray randomBytes(qsizetype size);
// Every name in the folder, hidden ones included, in name order.
QStringList entries(const QString& folder);

// A small tmpfs on a fresh folder, for a disk that fills up; unmounted when dropped.
class TmpfsMount {
public:
    explicit TmpfsMount(qint64 bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return dir_.path(); }
    QString problem;  // why it could not be mounted

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

// An exFAT image on a loop device, mounted through FUSE the way photo disks
// usually are; unmounted and detached when dropped.
class ExfatMount {
public:
    ExfatMount();
    ~ExfatMount();
    ExfatMount(const ExfatMount&) = delete;
    ExfatMount& operator=(const ExfatMount&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return work_.filePath(QStringLiteral("disk")); }
    QString problem;

private:
    bool setUp();

    QTemporaryDir work_;
    QString device_;
    bool mounted_ = false;
};

}  // namespace zandrel::test
