#include "readiness/DateSubfolder.h"

#include "app/Zandrel.h"

#include <array>

namespace zandrel {

namespace {

QString monthName(int month)
{
    static const std::array<const char*, 12> names = {"Januari",   "Februari", "Maart",    "April",
                                                      "Mei",       "Juni",     "Juli",     "Augustus",
                                                      "September", "Oktober",  "November", "December"};
    if (month < 1 || month > 12)
        return QStringLiteral("Cannot determine date");
    return QString::fromLatin1(names[size_t(month - 1)]);
}

}  // namespace

QString dateSubfolderName(int year, int month) { return QString::number(year) + QLatin1Char(' ') + monthName(month); }

void Zandrel::sAutodatum_Click()
{
    if (sAutodatum.Value() == 1) {
        sFolder.setEnabled(false);
        const QDate today = platform_.clock->Today();
        sFolder.setText(dateSubfolderName(today.year(), today.month()));
    } else {
        sFolder.setEnabled(true);
    }
    sFolder.Refresh();
}

}  // namespace zandrel
