#pragma once

// What only Linux offers the tests: other users, strace, file locks, tmpfs and exFAT mounts.

#include "platform/linux/SafeCopy.h"
#include "support/RealSystem.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace zandrel::test {

// A wrapper that drops root's rights, which ignore file permissions; empty when not root.
QStringList asOtherUser();
bool straceWorks();

// Holds the file the way a live writer does, from any process or pid namespace.
safecopy::Fd holdAsWriter(const QString& path);

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

// Base's tests with an exFAT disk of their own; skipped where it cannot be mounted.
template <typename Base, int Megabytes = 64>
class OnExfat : public Base {
protected:
    void SetUp() override
    {
        if (!disk.mounted())
            GTEST_SKIP() << qPrintable(disk.problem);
        Base::SetUp();
    }
    ExfatMount disk{Megabytes};
};

}  // namespace zandrel::test
