#include "platform/portable/HiveFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

namespace zandrel {

namespace {

// A write waits this long for another copy of the program to finish its own;
// writes take milliseconds, so only a hung copy makes it run out.
constexpr int kLockWaitMs = 10000;
// A lock whose owner was killed before it could write its process id into it
// counts as abandoned after this long. A live owner also holds an flock() on
// it, so its lock is never taken away however long it takes.
constexpr int kAbandonedLockMs = 2000;

// The name is new: QFile::rename never replaces an existing file.
bool moveAside(const QString& path)
{
    const QString base = path + QStringLiteral(".unreadable-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 0; n < 100; ++n) {
        const QString target = n == 0 ? base : base + QLatin1Char('-') + QString::number(n);
        if (!QFileInfo::exists(target) && QFile::rename(path, target))
            return true;
    }
    return false;
}

// A lock file that this user may not read, or may not remove from its folder,
// is out of reach: most likely another account's, left by a run under it.
// Whether it is stale cannot be told and it could not be cleared anyway, so
// waiting for it would only stall every write.
bool outOfReach(const QString& lockPath)
{
    const QFileInfo lock(lockPath);
    return lock.exists() && (!lock.isReadable() || !QFileInfo(lock.absolutePath()).isWritable());
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

bool updateHiveFile(const QString& path, const std::function<bool(HiveDocument&)>& change)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    const QString lockPath = path + QStringLiteral(".lock");
    if (outOfReach(lockPath))
        return false;
    QLockFile lock(lockPath);
    lock.setStaleLockTime(kAbandonedLockMs);
    if (!lock.tryLock(kLockWaitMs))
        return false;

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
