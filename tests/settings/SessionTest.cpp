#include "platform/portable/HiveRegistry.h"
#include "settings/SettingsKeys.h"
#include "support/TestWindow.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// A person's first session and the next start, through the window's own handlers
// on the real hive and real folders.
TEST(Session, FoldersAndOpenChoiceSurviveARunAndARestart)
{
    TestWindow t;
    const QString camera = t.makeFolder(QStringLiteral("kaart/DCIM"));
    const QString photos = t.makeFolder(QStringLiteral("Foto's"));
    t.makeFile(QStringLiteral("kaart/DCIM/IMG_0001.JPG"), QByteArray(1000, 'a'));
    t.makeFile(QStringLiteral("kaart/DCIM/IMG_0002.JPG"), QByteArray(2000, 'b'));

    {
        Zandrel& w = *t.window;
        w.Form_Load();
        EXPECT_EQ(w.Cpath.Text(), settings::DefaultSource);
        EXPECT_EQ(w.Stoplicht.BackColor(), Red);

        w.sSet.setValue(1);
        w.Cpath.setText(camera);
        w.Fpath.setText(photos);
        w.SETcamera.click();
        EXPECT_EQ(w.Message.Caption(), QStringLiteral(" Klaar om te kopiëren"));
        w.sOpen.setValue(0);
        w.sDel.setValue(0);
        w.start.click();
        EXPECT_EQ(w.Message.Caption(), QStringLiteral("Klaar met kopiëren"));
        EXPECT_TRUE(t.launcher->launches.empty()) << "the open-afterwards box was unticked";
    }
    const QString dated = photos + QStringLiteral("/2026 December/");
    EXPECT_TRUE(QFile::exists(dated + QStringLiteral("IMG_0001.JPG")));
    EXPECT_TRUE(QFile::exists(dated + QStringLiteral("IMG_0002.JPG")));

    t.window.reset();
    // A second program start on the same hive.
    const std::unique_ptr<Zandrel> window = windowOn(t, std::make_shared<HiveRegistryService>(t.hivePath()));
    Zandrel& next = *window;
    next.Form_Load();
    EXPECT_EQ(next.Cpath.Text(), camera);
    EXPECT_EQ(next.Fpath.Text(), photos);
    EXPECT_EQ(next.sOpen.Value(), 0);
    EXPECT_FALSE(next.Cpath.Enabled());
    EXPECT_EQ(next.sAantal.Caption(), QStringLiteral("2")) << "the camera was kept";
}

}  // namespace
}  // namespace zandrel::test
