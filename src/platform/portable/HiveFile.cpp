#include "platform/portable/HiveFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

namespace zandrel {

namespace {

constexpr int kLockRetryMs = 2;
// A lock whose owner was killed before it could write its process id into it
// counts as abandoned after this long, well within one write's wait. A live
// owner also holds an flock() on it, so its lock is never taken away however
// long it takes.
constexpr int kAbandonedLockMs = 150;

// The name is new: QFile::rename never replaces an existing file.
bool moveAside(const QString& path)
{
    const QString base = path + QStringLiteral(".unreadable-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 0; n < 100; ++n) {
        const QString target = n == 0 ? base : base + QLatin1Char('-') + QString::number(n);
        if (!QFileInfo::exists(target) && QFile::rename(path, target))
            return true;
    }
    return false;
}

// A lock file that this user may not read or write, or may not remove from its
// folder, is out of reach: most likely another account's, left by a run under
// it (sudo). Even when stale it could not be cleared, so waiting for it would
// only stall every write. A writer's own lock may go and come back while it is
// looked at, so the permissions are looked at again when opening fails.
bool outOfReach(const QString& lockPath)
{
    QFile lock(lockPath);
    if (lock.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return !QFileInfo(QFileInfo(lockPath).absolutePath()).isWritable();
    const QFileInfo again(lockPath);
    return again.exists() && (!again.isReadable() || !again.isWritable());
}

// Tries the lock again every few milliseconds until lockWait runs out: another
// copy of the program holds it only for the moment its write takes.
bool takeLock(QLockFile& lock, const QDeadlineTimer& lockWait)
{
    while (!lock.tryLock(0)) {
        if (lock.error() != QLockFile::LockFailedError || lockWait.hasExpired())
            return false;
        QThread::msleep(kLockRetryMs);
    }
    return true;
}

}  // namespace

HiveRead readHiveFile(const QString& path)
{
    QFile file(path);
    if (!QFileInfo::exists(path))
        return {};
    if (!file.open(QIODevice::ReadOnly))
        return {HiveRead::State::Unreadable, std::nullopt};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {HiveRead::State::Unreadable, std::nullopt};
    auto document = HiveDocument::parse(bytes);
    if (!document)
        return {HiveRead::State::Unreadable, std::nullopt};
    return {HiveRead::State::Read, std::move(document)};
}

bool updateHiveFile(const QString& path, const std::function<bool(HiveDocument&)>& change, QDeadlineTimer lockWait)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString lockPath = path + QStringLiteral(".lock");
    const QString turnPath = path + QStringLiteral(".turn");
    if (outOfReach(lockPath) || outOfReach(turnPath))
        return false;
    // Writers take turns: one waits for the lock while it holds the turn, so a
    // copy that writes again and again cannot keep the lock from one that waits.
    QLockFile turn(turnPath);
    QLockFile lock(lockPath);
    turn.setStaleLockTime(kAbandonedLockMs);
    lock.setStaleLockTime(kAbandonedLockMs);
    if (!takeLock(turn, lockWait) || !takeLock(lock, lockWait))
        return false;
    turn.unlock();

    HiveRead current = readHiveFile(path);
    if (current.state == HiveRead::State::Unreadable && !moveAside(path))
        return false;
    HiveDocument document = current.document.value_or(HiveDocument());
    if (!change(document))
        return true;

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = document.serialize();
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();  // flushes, syncs and renames over the old file
}

}  // namespace zandrel
