#include "copyrun/Percentage.h"

#include <algorithm>
#include <cmath>

namespace zandrel {

QString percentageCaption(qint64 counter, qint64 total)
{
    // The share per file is formed first, so a run of 97 files ends at 99%.
    // Files that arrived after the total was taken (or a total of 0) would
    // carry the figure past 100, which means nothing to the user.
    int percentage = 100;
    if (total > 0) {
        const double q = 100.0 / double(total);
        const double p = double(counter) * q;
        percentage = int(std::min(100.0, std::floor(p)));
    }
    return QString::number(percentage) + QLatin1Char('%');
}

}  // namespace zandrel
