#include "about/Versie.h"
#include "support/TestWindow.h"

#include <QDir>
#include <QCoreApplication>
#include <QMouseEvent>
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
    EXPECT_EQ(box.prompt,
              QStringLiteral("Dit is versie: 1.0.8\r\nGestart vanaf: ") + QDir::currentPath()
                  + QStringLiteral("\r\n\r\nLaatste versie te downloaden op:\r\n") + kDownloadPage
                  + QStringLiteral("\r\n\r\nLaatste versie downloaden?"));
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
    storeFolders(t, t.makeFolder(QStringLiteral("camera")), t.makeFolder(QStringLiteral("foto")), false);
    Zandrel& w = *t.window;
    w.Form_Load();
    w.sSet.setValue(1);
    t.messageBox->answers = {IDYES};
    w.Versie.click();
    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    EXPECT_EQ(w.sSet.Value(), 1);
    EXPECT_TRUE(w.SETcamera.Visible() && w.SETcamera.Enabled());
    EXPECT_FALSE(w.sSet.Visible());
    EXPECT_TRUE(w.Cpath.Enabled());
    EXPECT_FALSE(w.start.Enabled());
    EXPECT_EQ(w.Stoplicht.BackColor(), Yellow);
    EXPECT_EQ(w.Message.Caption(), QStringLiteral("Stel camera pad en foto pad in"));
}

// The box is shown from the run's event pass; the run goes on only after the answer.
TEST(Versie, ClickedDuringARunTheRunWaitsForTheAnswerAndGoesOn)
{
    TestWindow t;
    const QString camera = t.makeFolder(QStringLiteral("camera"));
    const QString photos = t.makeFolder(QStringLiteral("foto"));
    for (const char* name : {"a.avi", "b.avi", "c.avi"})
        t.makeFile(QStringLiteral("camera/") + QLatin1String(name), QByteArray(100, 'x'));
    storeFolders(t, camera, photos, false);
    Zandrel& w = *t.window;
    w.Form_Load();
    w.sDel.setValue(0);

    QStringList arrivedWhileShown;
    bool runActiveWhileShown = false;
    t.messageBox->answers = {IDYES};
    t.messageBox->whileShown = [&] {
        runActiveWhileShown = w.copyRunActive();
        arrivedWhileShown = QDir(photos + QStringLiteral("/2026 December")).entryList(QDir::Files);
    };
    // The user's click, waiting in the queue until the run lets the window handle it.
    QWidget* versie = w.Versie.widget();
    const QPointF centre = QRectF(versie->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(versie,
                                    new QMouseEvent(type, centre, versie->mapToGlobal(centre), Qt::LeftButton,
                                                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                    Qt::NoModifier));
    w.start.click();

    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    EXPECT_TRUE(runActiveWhileShown);
    EXPECT_EQ(arrivedWhileShown, QStringList{QStringLiteral("a.avi")}) << "shown after the first copy";
    ASSERT_EQ(t.launcher->launches.size(), 1u);
    EXPECT_EQ(t.launcher->launches[0].argument, kDownloadPage);
    EXPECT_EQ(QDir(photos + QStringLiteral("/2026 December")).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(w.Message.Caption(), QStringLiteral("Klaar met kopiëren"));
    EXPECT_EQ(w.Stoplicht.BackColor(), Green);
}

}  // namespace
}  // namespace zandrel::test
