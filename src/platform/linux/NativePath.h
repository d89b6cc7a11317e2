#pragma once

#include "platform/NativePath.h"

#include <QByteArray>
#include <QString>

#include <cstring>

namespace zandrel {

// A name as the system gives it, as text. Linux names are bytes: those that
// are not UTF-8 become the lone surrogates U+DC80..U+DCFF, one per byte, so
// that nativePath gives the very same bytes back.
QString nativeName(const char* bytes, qsizetype size);
inline QString nativeName(const QByteArray& bytes) { return nativeName(bytes.constData(), bytes.size()); }

// The bytes of a path for the kernel; the inverse of nativeName.
QByteArray nativePath(const QString& path);

inline QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace zandrel
