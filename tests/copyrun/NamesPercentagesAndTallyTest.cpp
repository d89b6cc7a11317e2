#include "copyrun/CameraTally.h"
#include "copyrun/Percentage.h"
#include "copyrun/TargetName.h"

#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

using namespace Qt::Literals::StringLiterals;

TEST(TargetNames, NumbersGoBeforeTheLastFourCharacters)
{
    EXPECT_EQ(numberedName("IMG_0001.JPG", 0), "IMG_0001.JPG");
    EXPECT_EQ(numberedName("IMG_0001.JPG", 1), "IMG_0001-1.JPG");
    EXPECT_EQ(numberedName("IMG_0001.JPG", 10000), "IMG_0001-10000.JPG");
    EXPECT_EQ(numberedName("foto.jpeg", 1), "foto.-1jpeg");
    EXPECT_EQ(numberedName("abcd", 1), "-1abcd");
    EXPECT_EQ(numberedName("ab", 2), "-2ab");
    // Characters, not the halves or parts that text is stored in, are counted.
    EXPECT_EQ(numberedName(u"\U0001F600abc"_s, 1), u"-1\U0001F600abc"_s);
    EXPECT_EQ(numberedName(u"zee.jp\U0001F600"_s, 1), u"zee-1.jp\U0001F600"_s);
    EXPECT_EQ(numberedName(u"caf.jpe\u0301"_s, 1), u"caf-1.jpe\u0301"_s);
    EXPECT_EQ(numberedName(u"x\xdce9.jp"_s, 1), u"x-1\xdce9.jp"_s);  // a byte that was no text
}

TEST(Percentages, QuotientFirstRoundedDownAndNeverPastAHundred)
{
    EXPECT_EQ(percentageCaption(1, 3), "33%");
    EXPECT_EQ(percentageCaption(3, 3), "100%");
    EXPECT_EQ(percentageCaption(97, 97), "99%");
    EXPECT_EQ(percentageCaption(5, 4), "100%");  // a file that arrived during the run
    EXPECT_EQ(percentageCaption(1, 0), "100%");  // a total taken from an empty camera
}

TEST(CameraTally, CountsForRealAtGrowingIntervals)
{
    CameraTally tally;
    EXPECT_TRUE(tally.dueForRealCount("cam"));
    tally.realCount("cam", 800, 8000);
    int deletions = 0;
    while (!tally.dueForRealCount("cam")) {
        tally.fileDeleted(10);
        ++deletions;
    }
    EXPECT_EQ(deletions, 400);  // half of the last real count
    EXPECT_EQ(tally.count(), 400);
    EXPECT_EQ(tally.bytes(), 4000);
    tally.realCount("cam", 1, 70);
    EXPECT_FALSE(tally.dueForRealCount("cam"));
    EXPECT_TRUE(tally.dueForRealCount("other camera"));
    tally.fileDeleted(70);
    EXPECT_TRUE(tally.dueForRealCount("cam"));  // the last files are counted after every one
    EXPECT_EQ(tally.count(), 0);
    tally.forget();
    EXPECT_TRUE(tally.dueForRealCount("cam"));
}

}  // namespace
}  // namespace zandrel::test
