#pragma once

#include <QFile>
#include <QString>

namespace zandrel {

// Text that the system could take as a path: not empty and without a NUL
// character, which would silently cut the path short.
inline bool isPathText(const QString& path) { return !path.isEmpty() && !path.contains(QChar(0)); }

// Opens a file for reading by its path exactly as the system names it, which
// QFile's own name encoding cannot promise for every name.
bool openForReading(QFile& file, const QString& path);

}  // namespace zandrel
