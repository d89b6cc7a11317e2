#pragma once

#include <QFile>
#include <QString>

#include <cstring>

namespace zandrel {

// Text that the kernel could take as a path: not empty and without a NUL
// character, which would silently cut the path short.
inline bool isPathText(const QString& path) { return !path.isEmpty() && !path.contains(QChar(0)); }

inline QByteArray nativePath(const QString& path) { return QFile::encodeName(path); }

inline QString errorText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

}  // namespace zandrel
