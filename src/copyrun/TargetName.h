#pragma once

#include "platform/FileSystem.h"

#include <QString>
#include <optional>

namespace zandrel {

// The highest number a copy's name may carry.
inline constexpr int kLastTargetNumber = 10000;

struct TargetName {
    QString path;
    int number = 0;  // 0: the camera file's own name
};

// The camera file's name with a number worked in before its last four characters,
// which are taken as the extension: IMG_0001.JPG gives IMG_0001-1.JPG, foto.jpeg
// gives foto.-1jpeg, abcd gives -1abcd. A shorter name counts as all extension.
QString numberedName(const QString& name, int number);

// The first candidate in the target folder, from number `first` on (0 is the plain
// name), at which no file exists yet; none when every number up to the last is taken.
std::optional<TargetName> freeTargetName(FileSystem& fileSystem, const QString& folder, const QString& name,
                                         int first = 0);

}  // namespace zandrel
