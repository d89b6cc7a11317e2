#include "copyrun/TargetName.h"

namespace zandrel {

QString numberedName(const QString& name, int number)
{
    if (number == 0)
        return name;
    const QString extension = name.right(4);
    const QString stem = name.left(name.size() - extension.size());
    return stem + QLatin1Char('-') + QString::number(number) + extension;
}

std::optional<TargetName> freeTargetName(FileSystem& fileSystem, const QString& folder, const QString& name,
                                         int first)
{
    for (int number = first; number <= kLastTargetNumber; ++number) {
        const QString candidate = joinPath(folder, numberedName(name, number));
        if (!fileSystem.FileExists(candidate))
            return TargetName{candidate, number};
    }
    return std::nullopt;
}

}  // namespace zandrel
