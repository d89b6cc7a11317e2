#pragma once

#include "platform/portable/HiveDocument.h"

#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <optional>

namespace zandrel {

// The hive file on disk. Reads take no lock: every write replaces the file in
// one rename, so a reader sees the old text or the new one.
struct HiveRead {
    enum class State { Missing, Unreadable, Read } state = State::Missing;
    std::optional<HiveDocument> document;  // only when Read
};

HiveRead readHiveFile(const QString& path);

// How long the writes of one connection to the settings wait, all together,
// for another copy of the program that is writing. Its writes take
// milliseconds; one that holds the lock longer is not waited for, and the
// write it blocks is dropped like a refused one, so a click never hangs.
inline constexpr int kHiveLockWaitMs = 400;

// Changes the hive under a lock beside it: reads it afresh, lets change() edit
// it and, when change() reports a change, replaces the file atomically. A file
// that cannot be read is first moved aside under a new name and a fresh hive is
// started. Returns whether the change reached the disk; a hive that refuses
// writes (a folder that cannot be written, a full disk) simply returns false.
// Another writer's lock is waited for until lockWait runs out, and no longer;
// a lock that cannot be taken over (another account's) is not waited for at all.
bool updateHiveFile(const QString& path, const std::function<bool(HiveDocument&)>& change,
                    QDeadlineTimer lockWait = QDeadlineTimer(kHiveLockWaitMs));

}  // namespace zandrel
