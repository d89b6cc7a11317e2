#include "copyrun/TargetName.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace zandrel {

namespace {

// Where the last four characters of name begin, counted as a reader counts
// them: a character made of a surrogate pair or of a letter with its accents
// is one, and is never cut.
qsizetype lastCharactersStart(const QString& name, int count)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, name);
    characters.toEnd();
    qsizetype start = name.size();
    for (int i = 0; i < count && start > 0; ++i)
        start = characters.toPreviousBoundary();
    return std::max<qsizetype>(start, 0);
}

}  // namespace

QString numberedName(const QString& name, int number)
{
    if (number == 0)
        return name;
    const qsizetype split = lastCharactersStart(name, 4);
    const QString extension = name.mid(split);
    const QString stem = name.left(split);
    return stem + QLatin1Char('-') + QString::number(number) + extension;
}

std::optional<TargetName> freeTargetName(FileSystem& fileSystem, const QString& folder, const QString& name, int first)
{
    for (int number = first; number <= kLastTargetNumber; ++number) {
        const QString candidate = joinPath(folder, numberedName(name, number));
        if (!fileSystem.FileExists(candidate))
            return TargetName{candidate, number};
    }
    return std::nullopt;
}

}  // namespace zandrel
