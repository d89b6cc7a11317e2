#include "about/Versie.h"
#include "support/TestWindow.h"

#include <QDir>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// Runs the test body with the process's working directory set to `folder`.
struct WorkingDirectory {
    explicit WorkingDirectory(const QString& folder) : previous(QDir::currentPath()) { QDir::setCurrent(folder); }
    ~WorkingDirectory() { QDir::setCurrent(previous); }
    QString previous;
};

TEST(Versie, PromptTitleAndFlags)
{
    TestWindow t;
    const QString folder = t.makeFolder(QStringLiteral("Foto's van mij"));
    WorkingDirectory cwd(folder);
    t.window->Versie_Click();
    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    const ShownBox& box = t.messageBox->shown.front();
    EXPECT_EQ(box.prompt, QStringLiteral("Dit is versie: 1.0.8\r\nGestart vanaf: ") + QDir::currentPath() +
                              QStringLiteral("\r\n\r\nLaatste versie te downloaden op:\r\n") + kDownloadPage +
                              QStringLiteral("\r\n\r\nLaatste versie downloaden?"));
    EXPECT_TRUE(box.prompt.contains(QStringLiteral("Foto's van mij")));
    EXPECT_EQ(box.prompt.split(QStringLiteral("\r\n")).size(), 7);
    EXPECT_EQ(box.title, QStringLiteral("Zandrel 1.0.8"));
    EXPECT_EQ(box.flags, 36);
    EXPECT_TRUE(kDownloadPage.endsWith(QStringLiteral("/Zandrel.html")));
}

TEST(Versie, YesOpensTheDownloadPageAsOneArgumentNoOpensNothing)
{
    TestWindow t;
    t.messageBox->answers = {IDNO};
    t.window->Versie_Click();
    EXPECT_TRUE(t.launcher->launches.empty());

    t.messageBox->answers = {IDYES};
    t.window->Versie_Click();
    ASSERT_EQ(t.launcher->launches.size(), 1u);
    EXPECT_EQ(t.launcher->launches[0].program, QStringLiteral("explorer"));
    EXPECT_EQ(t.launcher->launches[0].argument, kDownloadPage);
}

TEST(Versie, ReadsTheWorkingDirectoryAtTheClick)
{
    TestWindow t;
    const QString first = t.makeFolder(QStringLiteral("een"));
    const QString second = t.makeFolder(QStringLiteral("twee"));
    {
        WorkingDirectory cwd(first);
        t.window->Versie_Click();
    }
    {
        WorkingDirectory cwd(second);
        t.window->Versie_Click();
    }
    ASSERT_EQ(t.messageBox->shown.size(), 2u);
    EXPECT_TRUE(t.messageBox->shown[0].prompt.contains(QStringLiteral("/een\r\n")));
    EXPECT_TRUE(t.messageBox->shown[1].prompt.contains(QStringLiteral("/twee\r\n")));
}

TEST(Versie, EditingModeIsLeftAsItWas)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.SETcamera.setVisible(true);
    w.sSet.setVisible(false);
    w.Stoplicht.setBackColor(Yellow);
    w.Message.setCaption(QStringLiteral("Stel camera pad en foto pad in"));
    t.messageBox->answers = {IDYES};
    w.Versie_Click();
    EXPECT_TRUE(w.SETcamera.Visible());
    EXPECT_FALSE(w.sSet.Visible());
    EXPECT_EQ(w.Stoplicht.BackColor(), Yellow);
    EXPECT_EQ(w.Message.Caption(), QStringLiteral("Stel camera pad en foto pad in"));
}

}  // namespace
}  // namespace zandrel::test
