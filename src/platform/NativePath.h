#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstring>

namespace zandrel {

// Text that the kernel could take as a path: not empty and without a NUL
// character, which would silently cut the path short.
inline bool isPathText(const QString& path) { return !path.isEmpty() && !path.contains(QChar(0)); }

// A name as the system gives it, as text. Linux names are bytes: those that
// are not UTF-8 become the lone surrogates U+DC80..U+DCFF, one per byte, so
// that nativePath gives the very same bytes back.
QString nativeName(const char* bytes, qsizetype size);
inline QString nativeName(const QByteArray& bytes) { return nativeName(bytes.constData(), bytes.size()); }

// The bytes of a path for the kernel; the inverse of nativeName.
QByteArray nativePath(const QString& path);

// Opens a file for reading by its path exactly as the system names it, which
// QFile's own name encoding cannot promise for every name.
bool openForReading(QFile& file, const QString& path);

inline QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace zandrel
