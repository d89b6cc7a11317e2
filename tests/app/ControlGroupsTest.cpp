#include "support/TestWindow.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

std::vector<Control*> lockedGroup(Zandrel& w) { return {&w.start, &w.Refresh1, &w.sDel, &w.sAutodatum, &w.sSet}; }

TEST(ControlGroups, UnlockingNeverEnablesStart)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.DisableControls();
    for (Control* c : lockedGroup(w))
        EXPECT_FALSE(c->Enabled()) << c->widget()->objectName().toStdString();
    for (Control* untouched : std::vector<Control*>{&w.Fotoboek, &w.Versie, &w.sPreview, &w.sOpen, &w.Cpath})
        EXPECT_TRUE(untouched->Enabled()) << untouched->widget()->objectName().toStdString();
    w.EnableControls();
    EXPECT_FALSE(w.start.Enabled());
    for (Control* c : {static_cast<Control*>(&w.Refresh1), static_cast<Control*>(&w.sDel),
                       static_cast<Control*>(&w.sAutodatum), static_cast<Control*>(&w.sSet)})
        EXPECT_TRUE(c->Enabled()) << c->widget()->objectName().toStdString();
}

TEST(ControlGroups, LockingGoesOnPastAStepThatFails)
{
    TestWindow t;
    Zandrel& w = *t.window;
    QWidget* refresh = w.Refresh1.widget();
    w.Refresh1 = CommandButton();  // a control that is gone: setting it fails
    EXPECT_NO_THROW(w.DisableControls());
    EXPECT_FALSE(w.start.Enabled());
    EXPECT_FALSE(w.sDel.Enabled());
    EXPECT_FALSE(w.sAutodatum.Enabled());
    EXPECT_FALSE(w.sSet.Enabled());
    EXPECT_TRUE(refresh->isEnabled());
    EXPECT_THROW(w.EnableControls(), PlatformError) << "only the lock swallows failures";
}

TEST(FolderOpening, PathReachesTheFileManagerUnchangedAsOneArgument)
{
    TestWindow t;
    const QString awkward = QStringLiteral("/tmp/Foto's van \"mij\"; $(touch /tmp/zandrel-pwned) & co/2006 Juni");
    t.window->OpenFolder(awkward);
    ASSERT_EQ(t.launcher->launches.size(), 1u);
    EXPECT_EQ(t.launcher->launches[0].program, QStringLiteral("explorer"));
    EXPECT_EQ(t.launcher->launches[0].argument, awkward);
}

TEST(FolderOpening, FotoboekOpensTheSubfolderOnlyWhenItExists)
{
    TestWindow t;
    Zandrel& w = *t.window;
    const QString photos = t.makeFolder(QStringLiteral("Foto's; $(echo x)"));
    w.Fpath.setText(photos);
    w.sFolder.setText(QStringLiteral("2006 Juni"));
    w.Fotoboek_Click();
    t.makeFolder(QStringLiteral("Foto's; $(echo x)/2006 Juni"));
    w.Fotoboek_Click();
    w.sFolder.setText(QString());
    w.Fotoboek_Click();
    ASSERT_EQ(t.launcher->launches.size(), 3u);
    EXPECT_EQ(t.launcher->launches[0].argument, photos);
    EXPECT_EQ(t.launcher->launches[1].argument, joinPath(photos, QStringLiteral("2006 Juni")));
    EXPECT_EQ(t.launcher->launches[2].argument, photos + kPathSeparator) << "an empty name keeps the separator";
}

TEST(FolderOpening, FotoboekFallsBackToAPhotoFolderThatDoesNotExist)
{
    TestWindow t;
    t.window->Fpath.setText(t.path(QStringLiteral("nergens")));
    t.window->sFolder.setText(QStringLiteral("2006 Juni"));
    t.window->Fotoboek_Click();
    ASSERT_EQ(t.launcher->launches.size(), 1u);
    EXPECT_EQ(t.launcher->launches[0].argument, t.path(QStringLiteral("nergens")));
}

// A relative photo folder is opened below the current folder: never taken for
// an option of the launcher, nor for a web address.
TEST(FolderOpening, ARelativeFolderReachesTheFileManagerAsAnAbsolutePath)
{
    TestWindow t;
    const QString before = QDir::currentPath();
    const QString current = t.makeFolder(QStringLiteral("hier"));
    ASSERT_TRUE(QDir::setCurrent(current));
    for (const QString& relative : {QStringLiteral("--help"), QStringLiteral("http://example.org/foto")}) {
        t.window->Fpath.setText(relative);
        t.window->Fotoboek_Click();
        EXPECT_EQ(t.launcher->launches.back().argument, current + QLatin1Char('/') + relative);
    }
    QDir::setCurrent(before);
}

TEST(Preview, UntickingClearsAtOnceRetickingShowsNothingNew)
{
    TestWindow t;
    Zandrel& w = *t.window;
    showSomePreview(w);
    w.sPreview.setValue(0);
    EXPECT_TRUE(w.Image1.Picture().isNull());
    w.sPreview.setValue(1);
    EXPECT_TRUE(w.Image1.Picture().isNull());
}

TEST(HandlerFailures, AFailingClickIsToldInDutchAndTheWindowStaysUsable)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.Fpath.setText(t.makeFolder(QStringLiteral("foto")));
    t.launcher->failure = QStringLiteral("Kan 'xdg-open' niet starten.");
    w.Fotoboek.click();
    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    EXPECT_TRUE(t.messageBox->shown[0].prompt.contains(QStringLiteral("Kan 'xdg-open' niet starten.")));
    EXPECT_EQ(t.messageBox->shown[0].flags, MB_OK | MB_ICONERROR);
    t.launcher->failure.clear();
    w.Fotoboek.click();
    EXPECT_EQ(t.launcher->launches.size(), 1u);
}

}  // namespace
}  // namespace zandrel::test
