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

// The folder that holds the last level of a native path, as the kernel takes
// it: "." for a bare name, "/" for a name at the root.
inline QByteArray parentFolder(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArrayLiteral(".") : slash == 0 ? QByteArrayLiteral("/") : path.left(slash);
}

inline QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace zandrel
