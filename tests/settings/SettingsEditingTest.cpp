#include "settings/SettingsTestSupport.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalBlocker>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

QByteArray settingsHive(const QString& camera, const QString& photos, const QString& open = QStringLiteral("1"))
{
    return hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n\"cpath\"=\"%1\"\n\"fpath\"=\"%2\"\n"
                                   "\"sOpen\"=\"%3\"\n\n")
                        .arg(camera, photos, open));
}

void userClick(CheckBox& box) { static_cast<QCheckBox*>(box.widget())->click(); }

// A started window on a camera folder holding one photo and an existing photo folder.
struct EditingSetup {
    enum Store { Plain, Recorded };
    explicit EditingSetup(Store store = Plain)
    {
        if (store == Recorded) {
            recording = std::make_shared<RecordingRegistryService>(std::make_shared<HiveRegistryService>(t.hivePath()));
            t.window = windowOn(t, recording);
        }
        camera = t.makeFolder(QStringLiteral("camera"));
        t.makeFile(QStringLiteral("camera/IMG_0001.JPG"), QByteArray(1000, 'x'));
        photos = t.makeFolder(QStringLiteral("foto"));
        writeFile(t.hivePath(), settingsHive(camera, photos));
        t.window->Start();
    }
    Zandrel& w() { return *t.window; }

    TestWindow t;
    QString camera;
    QString photos;
    std::shared_ptr<RecordingRegistryService> recording;
};

TEST(SettingsEditing, TickingSetEntersEditingModeWithTheStoredFolders)
{
    EditingSetup s;
    Zandrel& w = s.w();
    ASSERT_FALSE(w.Cpath.Enabled());
    userClick(w.sSet);

    EXPECT_EQ(w.Message.Caption(), QStringLiteral("Stel camera pad en foto pad in"));
    EXPECT_EQ(w.Stoplicht.BackColor(), Yellow);
    EXPECT_TRUE(w.Cpath.Enabled());
    EXPECT_TRUE(w.Fpath.Enabled());
    EXPECT_EQ(w.Cpath.Text(), s.camera);
    EXPECT_EQ(w.Fpath.Text(), s.photos);
    EXPECT_TRUE(w.SETcamera.Visible());
    EXPECT_TRUE(w.SETcamera.Enabled());
    EXPECT_FALSE(w.sSet.Visible());
    EXPECT_FALSE(w.sSet.Enabled());
    for (Control* locked :
         {static_cast<Control*>(&w.start), static_cast<Control*>(&w.Refresh1), static_cast<Control*>(&w.Fotoboek),
          static_cast<Control*>(&w.sPreview), static_cast<Control*>(&w.sOpen), static_cast<Control*>(&w.sDel),
          static_cast<Control*>(&w.sAutodatum)})
        EXPECT_FALSE(locked->Enabled()) << locked->widget()->objectName().toStdString();
    EXPECT_TRUE(w.Versie.Enabled());
}

TEST(SettingsEditing, SaveStoresCameraThenPhotoFolderAndEndsWithTheSecondChecksVerdict)
{
    EditingSetup s(EditingSetup::Recorded);
    Zandrel& w = s.w();
    RecordingRegistryService& recording = *s.recording;
    const QString camera = s.t.makeFolder(QStringLiteral("sd kaart"));
    s.t.makeFile(QStringLiteral("sd kaart/DSC_0001.JPG"), QByteArray(2000, 'y'));
    const QString photos = s.t.makeFolder(QStringLiteral("Foto's 2026"));

    userClick(w.sSet);
    userTypes(w.Cpath, camera);
    userTypes(w.Fpath, photos);
    recording.calls.clear();
    w.SETcamera.click();

    const QStringList writes = recording.calls.filter(QStringLiteral("Set "));
    ASSERT_GE(writes.size(), 2);
    EXPECT_EQ(writes[0], QStringLiteral("Set SOFTWARE\\Zandrel cpath=") + camera);
    EXPECT_EQ(writes[1], QStringLiteral("Set SOFTWARE\\Zandrel fpath=") + photos);
    EXPECT_EQ(recording.calls.filter(QStringLiteral("Check SOFTWARE\\Zandrel")).size(), 2);  // two checks
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("cpath")), camera);
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("fpath")), photos);

    EXPECT_EQ(w.sSet.Value(), 0);
    EXPECT_TRUE(w.sSet.Visible());
    EXPECT_TRUE(w.sSet.Enabled());
    EXPECT_FALSE(w.SETcamera.Visible());
    EXPECT_FALSE(w.Cpath.Enabled());
    EXPECT_FALSE(w.Fpath.Enabled());
    EXPECT_EQ(w.Cpath.Text(), camera);
    EXPECT_EQ(w.Fpath.Text(), photos);
    EXPECT_TRUE(w.Fotoboek.Enabled());
    EXPECT_TRUE(w.sOpen.Enabled());
    EXPECT_TRUE(w.sPreview.Enabled());
    EXPECT_TRUE(w.start.Enabled());
    EXPECT_EQ(w.Stoplicht.BackColor(), Green);
}

TEST(SettingsEditing, SavingAMissingCameraFolderLeavesStartDisabled)
{
    EditingSetup s;
    Zandrel& w = s.w();
    userClick(w.sSet);
    userTypes(w.Cpath, s.t.path(QStringLiteral("niet aangesloten")));
    w.SETcamera.click();
    // Leaving editing mode enables start; the check after it takes that back.
    EXPECT_FALSE(w.start.Enabled());
    EXPECT_EQ(w.Stoplicht.BackColor(), Red);
    EXPECT_EQ(w.Cpath.Text(), s.t.path(QStringLiteral("niet aangesloten")));
    EXPECT_TRUE(w.Refresh1.Enabled());
}

TEST(SettingsEditing, SavingAnEmptyPhotoFolderShowsUnknown)
{
    EditingSetup s;
    Zandrel& w = s.w();
    userClick(w.sSet);
    userTypes(w.Fpath, QString());
    w.SETcamera.click();
    EXPECT_EQ(w.Fpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("fpath")), QString());
    EXPECT_EQ(w.Cpath.Text(), s.camera);
}

TEST(SettingsEditing, EveryClickOnOpenAfterwardsIsStoredAtOnceEvenWithoutTheKey)
{
    EditingSetup s;
    Zandrel& w = s.w();
    ASSERT_EQ(w.sOpen.Value(), 1);
    userClick(w.sOpen);
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("sOpen")), QStringLiteral("0"));
    userClick(w.sOpen);
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("sOpen")), QStringLiteral("1"));

    writeFile(s.t.hivePath(), hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Ander]\n\"x\"=\"y\"\n\n")));
    userClick(w.sOpen);
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("sOpen")), QStringLiteral("0"));
    EXPECT_EQ(storedValue(s.t.hivePath(), QStringLiteral("x"), QStringLiteral("SOFTWARE\\Ander")), QStringLiteral("y"));
}

TEST(SettingsEditing, ALoadedOpenAfterwardsIsWrittenBackOnlyWhenItChangesTheBox)
{
    struct Case {
        QString stored;
        int boxBefore;
        QStringList expectedWrites;
        QString storedAfter;
    };
    const std::vector<Case> cases = {
        {QStringLiteral("yes"), 0, {QStringLiteral("Set SOFTWARE\\Zandrel sOpen=1")}, QStringLiteral("1")},
        {QStringLiteral("yes"), 1, {}, QStringLiteral("yes")},
        {QStringLiteral("0"), 1, {QStringLiteral("Set SOFTWARE\\Zandrel sOpen=0")}, QStringLiteral("0")},
        {QStringLiteral("0"), 0, {}, QStringLiteral("0")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored.toStdString() + " with box " + std::to_string(c.boxBefore));
        TestWindow t;
        auto recording =
            std::make_shared<RecordingRegistryService>(std::make_shared<HiveRegistryService>(t.hivePath()));
        t.window = windowOn(t, recording);
        writeFile(t.hivePath(), settingsHive(QStringLiteral("/c"), QStringLiteral("/f"), c.stored));
        {
            const QSignalBlocker quiet(t.window->sOpen.widget());
            t.window->sOpen.setValue(c.boxBefore);
        }
        t.window->Refresh1_Click();
        EXPECT_EQ(recording->calls.filter(QStringLiteral("Set ")), c.expectedWrites);
        EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("sOpen")), c.storedAfter);
    }
}

TEST(SettingsEditing, AStoreThatCannotBeReachedIsToldInDutchAndTheWindowStaysUsable)
{
    TestWindow t;
    t.window = windowOn(t, std::make_shared<HiveRegistryService>(QString()));
    Zandrel& w = *t.window;
    w.Start();
    ASSERT_EQ(t.messageBox->shown.size(), 1u);
    EXPECT_TRUE(t.messageBox->shown[0].prompt.contains(QStringLiteral("De instellingen zijn niet te bereiken")))
        << t.messageBox->shown[0].prompt.toStdString();
    EXPECT_TRUE(w.isVisible());

    w.Refresh1.click();
    EXPECT_EQ(t.messageBox->shown.size(), 2u);
    userClick(w.sOpen);
    EXPECT_EQ(t.messageBox->shown.size(), 3u);
    // The switch reports too and stays where the user can take the tick back.
    userClick(w.sSet);
    EXPECT_EQ(t.messageBox->shown.size(), 4u);
    EXPECT_TRUE(w.sSet.Visible());
    EXPECT_TRUE(w.sSet.Enabled());
    userClick(w.sSet);
    EXPECT_EQ(w.sSet.Value(), 0);
    EXPECT_TRUE(w.Refresh1.Enabled());
    EXPECT_TRUE(w.Versie.Enabled());
}

}  // namespace
}  // namespace zandrel::test
