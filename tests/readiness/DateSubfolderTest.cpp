#include "readiness/DateSubfolder.h"
#include "support/TestWindow.h"

#include <QLocale>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// Checked against Qt's Dutch calendar, so that a month name mistyped or out
// of place shows; the folder name takes it with a capital.
TEST(DateSubfolder, YearThenDutchMonthName)
{
    const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
    for (int month = 1; month <= 12; ++month) {
        QString name = dutch.standaloneMonthName(month);
        name[0] = name[0].toUpper();
        EXPECT_EQ(dateSubfolderName(2006, month), QStringLiteral("2006 ") + name);
    }
}

TEST(DateSubfolder, MonthOutsideTheTableFallsBackInEnglish)
{
    EXPECT_EQ(dateSubfolderName(2006, 0), QStringLiteral("2006 Cannot determine date"));
    EXPECT_EQ(dateSubfolderName(2006, 13), QStringLiteral("2006 Cannot determine date"));
}

TEST(DateSubfolder, TickUntickRetickWithATypedName)
{
    TestWindow t;
    Zandrel& w = *t.window;
    t.clock->today = QDate(2006, 3, 17);
    w.sAutodatum_Click();
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("2006 Maart"));
    EXPECT_FALSE(w.sFolder.Enabled());

    w.sAutodatum.setValue(0);
    EXPECT_TRUE(w.sFolder.Enabled());
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("2006 Maart")) << "the date name stays as a starting point";
    w.sFolder.setText(QStringLiteral("Vakantie"));

    t.clock->today = QDate(2006, 5, 1);  // a new month while the window was open
    w.sAutodatum.setValue(1);
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("2006 Mei"));
    EXPECT_FALSE(w.sFolder.Enabled());
    w.sAutodatum.setValue(0);
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("2006 Mei")) << "the typed name does not come back";
}

TEST(DateSubfolder, LoadFillsTheNameFromOneReadingOfTheClock)
{
    TestWindow t;
    t.clock->today = QDate(2026, 12, 8);
    t.window->sAutodatum_Click();
    EXPECT_EQ(t.clock->readings, 1);
    EXPECT_EQ(t.window->sFolder.Text(), QStringLiteral("2026 December"));
}

}  // namespace
}  // namespace zandrel::test
