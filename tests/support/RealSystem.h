#pragma once

#include "platform/FileSystem.h"
#include "platform/linux/SafeCopy.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <ostream>
#include <string>

class QProcess;

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

// This test program started again with only the tests that `filter` selects,
// disabled ones included, the given variables added to its environment, and
// run under the wrapper command (setpriv, strace) when there is one.
std::unique_ptr<QProcess> startTestChild(const QString& filter, const std::map<QString, QString>& variables,
                                         const QStringList& wrapper = {});
// A wrapper that drops root's rights, which ignore file permissions; empty when not root.
QStringList asOtherUser();
bool straceWorks();

// Holds the file the way a live writer does, from any process or pid namespace.
safecopy::Fd holdAsWriter(const QString& path);

// A file of the given bytes; the folder must exist.
void writeFile(const QString& path, const QByteArray& bytes);
// The file's bytes; empty when it cannot be read.
QByteArray readFile(const QString& path);
// A different pattern at every call, so that a copy can only match its own original.
QByteArray randomBytes(qsizetype size);
// Every name in the folder, hidden ones included, in name order.
QStringList entries(const QString& folder);

// A small tmpfs, for a disk that fills up: on a fresh folder, or on the given
// folder (created when missing). Unmounted when dropped; needs root.
class TmpfsMount {
public:
    explicit TmpfsMount(qint64 bytes);
    TmpfsMount(const QString& folder, qint64 bytes);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return folder_; }
    QString problem;  // why it could not be mounted

private:
    void mount(const QByteArray& options);

    QTemporaryDir dir_;
    QString folder_;
    bool mounted_ = false;
};

// An exFAT image on a loop device, mounted through FUSE the way photo disks
// usually are; unmounted and detached when dropped.
class ExfatMount {
public:
    explicit ExfatMount(int megabytes = 64);
    ~ExfatMount();
    ExfatMount(const ExfatMount&) = delete;
    ExfatMount& operator=(const ExfatMount&) = delete;

    bool mounted() const { return mounted_; }
    QString path() const { return work_.filePath(QStringLiteral("disk")); }
    QString problem;

private:
    bool setUp(int megabytes);

    QTemporaryDir work_;
    QString device_;
    bool mounted_ = false;
};

}  // namespace zandrel::test
