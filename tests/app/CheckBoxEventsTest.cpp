#include "support/TestWindow.h"

#include <QCheckBox>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

TEST(CheckBoxEvents, CodeChangingTheValueRunsTheHandlerOnceAndOnlyOnChange)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.sFolder.setText(QStringLiteral("eigen naam"));
    const int before = t.clock->readings;
    w.sAutodatum.setValue(1);  // already ticked: nothing runs
    EXPECT_EQ(t.clock->readings, before);
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("eigen naam"));
    w.sAutodatum.setValue(0);
    EXPECT_TRUE(w.sFolder.Enabled());
    w.sAutodatum.setValue(1);  // runs synchronously, before setValue returns
    EXPECT_EQ(t.clock->readings, before + 1);
    EXPECT_EQ(w.sFolder.Text(), QStringLiteral("2026 December"));
    EXPECT_FALSE(w.sFolder.Enabled());
}

TEST(CheckBoxEvents, AUserClickRunsTheSameHandler)
{
    TestWindow t;
    Zandrel& w = *t.window;
    static_cast<QCheckBox*>(w.sAutodatum.widget())->click();
    EXPECT_EQ(w.sAutodatum.Value(), 0);
    EXPECT_TRUE(w.sFolder.Enabled());
}

TEST(CheckBoxEvents, OnlyAValueOfExactlyOneTicks)
{
    TestWindow t;
    t.window->sDel.setValue(2);
    EXPECT_EQ(t.window->sDel.Value(), 0);
}

}  // namespace
}  // namespace zandrel::test
