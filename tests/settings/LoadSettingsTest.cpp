#include "settings/SettingsTestSupport.h"

#include <QCheckBox>
#include <QSignalBlocker>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

const QString kOlder = QStringLiteral("SOFTWARE\\Vostrik");

// Ticks or unticks a box without running its handler, as a test's starting point.
void presetTick(CheckBox& box, int value)
{
    const QSignalBlocker quiet(box.widget());
    box.setValue(value);
}

QByteArray settingsHive(const QString& values, const QString& extraSections = QString())
{
    return hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n") + values + QStringLiteral("\n")
                    + extraSections);
}

TEST(LoadSettings, FirstStartWritesTheDefaultsAndShowsThem)
{
    TestWindow t;
    Zandrel& w = *t.window;
    w.LoadSettings();
    EXPECT_EQ(w.Cpath.Text(), QStringLiteral("set source path"));
    EXPECT_EQ(w.Fpath.Text(), QStringLiteral("set destination path"));
    EXPECT_EQ(w.sOpen.Value(), 1);
    // Stored in the order they were written: fpath, cpath, sOpen.
    EXPECT_EQ(QString::fromUtf8(readFile(t.hivePath())),
              QString::fromUtf8(settingsHive(QStringLiteral("\"fpath\"=\"set destination path\"\n"
                                                            "\"cpath\"=\"set source path\"\n"
                                                            "\"sOpen\"=\"1\"\n"))));
}

TEST(LoadSettings, FirstStartTakesTheFoldersOverFromTheOlderKeyOnce)
{
    TestWindow t;
    const QByteArray older = hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vostrik]\n"
                                                     "\"source\"=\"E:\\\\DCIM\"\n"
                                                     "\"dest\"=\"\"\n\n"));
    writeFile(t.hivePath(), older);
    Zandrel& w = *t.window;
    presetTick(w.sSet, 1);
    w.LoadSettings();

    EXPECT_EQ(w.Cpath.Text(), QStringLiteral("E:\\DCIM"));
    EXPECT_EQ(w.Fpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("cpath")), QStringLiteral("E:\\DCIM"));
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("fpath")), QStringLiteral("Unknown"));
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("sOpen")), QStringLiteral("1"));
    // Unticking sSet ran its handler: the window is back in normal mode.
    EXPECT_EQ(w.sSet.Value(), 0);
    EXPECT_TRUE(w.sSet.Visible());
    EXPECT_FALSE(w.SETcamera.Visible());
    EXPECT_FALSE(w.Cpath.Enabled());
    // The older key is only read.
    EXPECT_TRUE(readFile(t.hivePath()).startsWith(older));
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("source"), kOlder), QStringLiteral("E:\\DCIM"));
}

TEST(LoadSettings, AMissingOlderSourceBecomesThePlaceholderToo)
{
    TestWindow t;
    writeFile(t.hivePath(),
              hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vostrik]\n"
                                      "\"dest\"=\"D:\\\\Foto's\"\n\n")));
    t.window->LoadSettings();
    EXPECT_EQ(t.window->Cpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(t.window->Fpath.Text(), QStringLiteral("D:\\Foto's"));
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("cpath")), QStringLiteral("Unknown"));
}

TEST(LoadSettings, TheOlderKeyIsNotReadOnceTheSettingsExist)
{
    TestWindow t;
    writeFile(t.hivePath(),
              settingsHive(QStringLiteral("\"cpath\"=\"/camera\"\n\"fpath\"=\"/foto\"\n\"sOpen\"=\"1\"\n"),
                           QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vostrik]\n"
                                          "\"source\"=\"E:\\\\DCIM\"\n\n")));
    auto recording = std::make_shared<RecordingRegistryService>(std::make_shared<HiveRegistryService>(t.hivePath()));
    t.window = windowOn(t, recording);
    const QByteArray before = readFile(t.hivePath());
    t.window->LoadSettings();
    EXPECT_EQ(t.window->Cpath.Text(), QStringLiteral("/camera"));
    EXPECT_EQ(t.window->Fpath.Text(), QStringLiteral("/foto"));
    EXPECT_TRUE(recording->calls.filter(QStringLiteral("Vostrik")).isEmpty())
        << recording->calls.join(u'|').toStdString();
    EXPECT_EQ(readFile(t.hivePath()), before);
}

TEST(LoadSettings, AnEmptyStoredPathShowsUnknownAndStaysEmptyInTheStore)
{
    TestWindow t;
    writeFile(t.hivePath(), settingsHive(QStringLiteral("\"cpath\"=\"\"\n\"sOpen\"=\"1\"\n")));
    t.window->LoadSettings();
    EXPECT_EQ(t.window->Cpath.Text(), QStringLiteral("Unknown"));
    EXPECT_EQ(t.window->Fpath.Text(), QStringLiteral("Unknown"));  // no fpath at all
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("cpath")), QString());
    EXPECT_EQ(storedValue(t.hivePath(), QStringLiteral("fpath")), std::nullopt);
}

TEST(LoadSettings, OnlyAStoredZeroUnticksOpenAfterwards)
{
    const std::vector<std::pair<QString, int>> cases = {
        {QStringLiteral("\"sOpen\"=\"0\"\n"), 0},
        {QStringLiteral("\"sOpen\"=\"1\"\n"), 1},
        {QStringLiteral("\"sOpen\"=\"yes\"\n"), 1},
        {QStringLiteral("\"sOpen\"=\"\"\n"), 1},
        {QStringLiteral("\"sOpen\"=\"00\"\n"), 1},
        {QStringLiteral("\"sOpen\"=\" 0\"\n"), 1},
        {QString(), 1},
    };
    for (const auto& [line, ticked] : cases) {
        for (int before : {0, 1}) {
            SCOPED_TRACE(line.toStdString() + " box before " + std::to_string(before));
            TestWindow t;
            writeFile(t.hivePath(), settingsHive(QStringLiteral("\"cpath\"=\"/c\"\n") + line));
            presetTick(t.window->sOpen, before);
            t.window->LoadSettings();
            EXPECT_EQ(t.window->sOpen.Value(), ticked);
        }
    }
}

TEST(LoadSettings, AnExpandableStringIsShownWithItsReferenceExpanded)
{
    TestWindow t;
    qputenv("USERPROFILE", "/home/anna");
    // "%USERPROFILE%\Pictures" as UTF-16LE bytes with their closing NUL.
    writeFile(t.hivePath(),
              settingsHive(QStringLiteral("\"cpath\"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,"
                                          "49,00,4c,00,45,00,25,00,5c,00,50,00,69,00,63,00,74,00,75,00,72,00,65,00,"
                                          "73,00,00,00\n")));
    t.window->LoadSettings();
    qunsetenv("USERPROFILE");
    EXPECT_EQ(t.window->Cpath.Text(), QStringLiteral("/home/anna\\Pictures"));
}

TEST(LoadSettings, TheSettingsSwitchDecidesWhetherTheFoldersCanBeEdited)
{
    for (int ticked : {0, 1}) {
        SCOPED_TRACE(ticked);
        TestWindow t;
        writeFile(t.hivePath(), settingsHive(QStringLiteral("\"cpath\"=\" /c/ \"\n\"fpath\"=\"/f\"\n")));
        presetTick(t.window->sSet, ticked);
        t.window->Cpath.setText(QStringLiteral("typed, never saved"));
        t.window->Cpath.setEnabled(!ticked);
        t.window->LoadSettings();
        EXPECT_EQ(t.window->Cpath.Enabled(), ticked == 1);
        EXPECT_EQ(t.window->Fpath.Enabled(), ticked == 1);
        EXPECT_EQ(t.window->SETcamera.Enabled(), ticked == 1);
        EXPECT_EQ(t.window->Cpath.Text(), QStringLiteral(" /c/ "));  // exactly as stored
    }
}

}  // namespace
}  // namespace zandrel::test
