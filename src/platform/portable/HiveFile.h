#pragma once

#include "platform/portable/HiveDocument.h"

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

// Changes the hive under a lock beside it: reads it afresh, lets change() edit
// it and, when change() reports a change, replaces the file atomically. A file
// that cannot be read is first moved aside under a new name and a fresh hive is
// started. Returns whether the change reached the disk; a hive that refuses
// writes (a folder that cannot be written, a full disk) simply returns false.
bool updateHiveFile(const QString& path, const std::function<bool(HiveDocument&)>& change);

}  // namespace zandrel
