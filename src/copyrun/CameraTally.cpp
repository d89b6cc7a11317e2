#include "copyrun/CameraTally.h"

#include <algorithm>

namespace zandrel {

bool CameraTally::dueForRealCount(const QString& folder) const
{
    if (!valid_ || folder != folder_)
        return true;
    return deletedSinceRealCount_ >= std::max<qint64>(1, countAtRealCount_ / kSpacingDivisor);
}

void CameraTally::realCount(const QString& folder, qint64 count, qint64 bytes)
{
    folder_ = folder;
    count_ = countAtRealCount_ = count;
    bytes_ = bytes;
    deletedSinceRealCount_ = 0;
    valid_ = true;
}

void CameraTally::fileDeleted(qint64 bytes)
{
    count_ = std::max<qint64>(0, count_ - 1);
    bytes_ = std::max<qint64>(0, bytes_ - bytes);
    ++deletedSinceRealCount_;
}

}  // namespace zandrel
