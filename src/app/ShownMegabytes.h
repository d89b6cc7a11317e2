#pragma once

#include <QtGlobal>

namespace zandrel {

// The camera's size as its labels show it: whole megabytes of a million bytes, rounded down.
inline constexpr qint64 kBytesPerShownMegabyte = 1000000;

inline qint64 shownMegabytes(qint64 bytes) { return bytes / kBytesPerShownMegabyte; }

}  // namespace zandrel
