#include "platform/PlatformError.h"
#include "settings/SettingsTestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

struct Hive {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("zandrel/registry.reg"));
    HiveRegistryService service{path};

    std::unique_ptr<Registry> connect() { return service.Connect(); }
    std::optional<QString> get(const QString& name, const QString& key = settings::Key)
    {
        return connect()->GetExpandedStringValue(HKEY_LOCAL_MACHINE, key, name);
    }
    void set(const QString& name, const QString& value, const QString& key = settings::Key)
    {
        connect()->SetStringValue(HKEY_LOCAL_MACHINE, key, name, value);
    }
    bool exists(const QString& key = settings::Key) { return connect()->CheckAccess(HKEY_LOCAL_MACHINE, key, 1); }
    QString text() const { return QString::fromUtf8(readFile(path)); }
    QStringList setAside() const
    {
        return QDir(QFileInfo(path).absolutePath())
            .entryList({QStringLiteral("registry.reg.unreadable-*")}, QDir::Files | QDir::Dirs, QDir::Name);
    }
};

// As the Windows registry editor exports: UTF-16LE with a byte-order mark, CRLF.
QByteArray windowsExport(QString text)
{
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    QStringEncoder encoder(QStringConverter::Utf16LE);
    return QByteArray("\xFF\xFE", 2) + QByteArray(encoder(text));
}

TEST(HiveFormat, WritesARegistryExportInUtf8WithEscapes)
{
    Hive hive;
    hive.connect()->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
    hive.set(QStringLiteral("cpath"), QStringLiteral("C:\\Foto's \"oud\""));
    hive.set(QStringLiteral("fpath"), QStringLiteral("/home/anna/Foto's ëü"));
    EXPECT_EQ(hive.text(),
              QStringLiteral("Windows Registry Editor Version 5.00\n"
                             "\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                             "\"cpath\"=\"C:\\\\Foto's \\\"oud\\\"\"\n"
                             "\"fpath\"=\"/home/anna/Foto's ëü\"\n"
                             "\n"));
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("C:\\Foto's \"oud\""));
    EXPECT_EQ(hive.get(QStringLiteral("fpath")), QStringLiteral("/home/anna/Foto's ëü"));
    EXPECT_FALSE(readFile(hive.path).startsWith("\xEF\xBB\xBF"));
}

TEST(HiveFormat, ReadsAWindowsExportAndRewritesItKeepingWhatItDoesNotKnow)
{
    Hive hive;
    qunsetenv("ZANDREL_NOT_SET");
    if (!qEnvironmentVariableIsSet("HOME"))  // Windows has none of its own
        qputenv("HOME", QDir::homePath().toUtf8());
    const QString exported =
        QStringLiteral("Windows Registry Editor Version 5.00\n"
                       "\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                       "\"cpath\"=hex(2):25,00,48,00,4f,00,4d,00,45,00,25,00,5c,00,44,00,43,00,49,00,\\\n"
                       "  4d,00,00,00\n"
                       "\"fpath\"=\"D:\\\\Foto's\"\n"
                       "; exported by hand\n"
                       "\"teller\"=dword:0000002a\n"
                       "\"sOpen\"=\"0\"\n"
                       "\"elders\"=hex(2):25,00,5a,00,41,00,4e,00,44,00,52,00,45,00,4c,00,5f,00,4e,00,4f,00,\\\n"
                       "  54,00,5f,00,53,00,45,00,54,00,25,00,2f,00,78,00,00,00\n"
                       "\n");
    writeFile(hive.path, windowsExport(exported));

    const QString home = qEnvironmentVariable("HOME");
    ASSERT_FALSE(home.isEmpty());
    EXPECT_TRUE(hive.exists());
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), home + QStringLiteral("\\DCIM"));
    EXPECT_EQ(hive.get(QStringLiteral("fpath")), QStringLiteral("D:\\Foto's"));
    EXPECT_EQ(hive.get(QStringLiteral("sOpen")), QStringLiteral("0"));
    EXPECT_EQ(hive.get(QStringLiteral("elders")), QStringLiteral("%ZANDREL_NOT_SET%/x"));
    EXPECT_EQ(hive.get(QStringLiteral("teller")), std::nullopt);  // not a string

    hive.set(QStringLiteral("sOpen"), QStringLiteral("1"));
    QString expected = exported;
    expected.replace(QStringLiteral("\"sOpen\"=\"0\""), QStringLiteral("\"sOpen\"=\"1\""));
    EXPECT_EQ(hive.text(), expected);  // UTF-8, LF, every other line as it was
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), home + QStringLiteral("\\DCIM"));
}

TEST(HiveFormat, KeysAndValueNamesIgnoreLetterCase)
{
    Hive hive;
    writeFile(hive.path, hiveText(QStringLiteral("[hkey_local_machine\\software\\ZANDREL]\n\"CPATH\"=\"a\"\n\n")));
    EXPECT_TRUE(hive.exists());
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("a"));
    hive.connect()->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
    hive.set(QStringLiteral("cpath"), QStringLiteral("b"));
    EXPECT_EQ(hive.text(),
              QString::fromUtf8(hiveText(QStringLiteral("[hkey_local_machine\\software\\ZANDREL]\n"
                                                        "\"CPATH\"=\"b\"\n\n"))));
}

TEST(HiveFormat, CreateKeyLeavesAnExistingKeyAndItsValuesAlone)
{
    Hive hive;
    const QByteArray before = hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n\"cpath\"=\"x\"\n"));
    writeFile(hive.path, before);
    hive.connect()->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
    EXPECT_EQ(readFile(hive.path), before);

    // A section for a subkey is enough for its parents to exist.
    writeFile(hive.path, hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel\\Oud]\n")));
    EXPECT_TRUE(hive.exists());
    EXPECT_TRUE(hive.exists(QStringLiteral("SOFTWARE")));
    EXPECT_FALSE(hive.exists(QStringLiteral("SOFTWARE\\Zand")));
    EXPECT_FALSE(hive.connect()->CheckAccess(HKEY_LOCAL_MACHINE + 1, settings::Key, 1));
}

TEST(HiveFormat, LaterLinesWinAndNewValuesJoinTheirSection)
{
    Hive hive;
    writeFile(hive.path,
              hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                      "\"cpath\"=\"eerst\"\n"
                                      "\n"
                                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vostrik]\n"
                                      "\"source\"=\"E:\\\\DCIM\"\n"
                                      "\n"
                                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                      "\"cpath\"=\"later\"\n"
                                      "\n")));
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("later"));
    hive.set(QStringLiteral("cpath"), QStringLiteral("nieuw"));
    hive.set(QStringLiteral("dest"), QStringLiteral("F:\\"), QStringLiteral("SOFTWARE\\Vostrik"));
    EXPECT_EQ(hive.text(),
              QString::fromUtf8(hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                                        "\"cpath\"=\"eerst\"\n"
                                                        "\n"
                                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vostrik]\n"
                                                        "\"source\"=\"E:\\\\DCIM\"\n"
                                                        "\"dest\"=\"F:\\\\\"\n"
                                                        "\n"
                                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                                        "\"cpath\"=\"nieuw\"\n"
                                                        "\n"))));
}

TEST(HiveFormat, LinesItDoesNotUnderstandSurviveARewrite)
{
    Hive hive;
    const QString odd = QStringLiteral("; a comment\n"
                                       "\"los\"=\"before any section\"\n"
                                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                       "this is no value\n"
                                       "\"half\"=\"never closed\n"
                                       "\"multi\"=hex(7):61,00,00,00,00,00\n"
                                       "\"weg\"=-\n"
                                       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Oud]\n");
    writeFile(hive.path, hiveText(odd));
    EXPECT_EQ(hive.get(QStringLiteral("half")), std::nullopt);
    hive.set(QStringLiteral("sOpen"), QStringLiteral("1"));
    EXPECT_EQ(hive.text(),
              QString::fromUtf8(hiveText(QString(odd).replace(QStringLiteral("\"weg\"=-\n"),
                                                              QStringLiteral("\"weg\"=-\n\"sOpen\"=\"1\"\n")))));
}

TEST(HiveFormat, TextWithALineBreakCannotBreakTheFile)
{
    Hive hive;
    hive.set(QStringLiteral("cpath"), QStringLiteral("regel 1\nregel 2\r\n\"[x]\""));
    hive.set(QStringLiteral("fpath"), QStringLiteral("daarna"));
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("regel 1\nregel 2\r\n\"[x]\""));
    EXPECT_EQ(hive.get(QStringLiteral("fpath")), QStringLiteral("daarna"));
    EXPECT_EQ(hive.text().count(QLatin1Char('\n')), 6);  // header, blank, section, two values, blank
}

TEST(HiveFormat, AnUnreadableHiveIsMovedAsideWithItsBytesAndAFreshOneStarted)
{
    const std::vector<QByteArray> unreadable = {
        QByteArray("\x00\x01\x02garbage\xff", 11),
        QByteArray("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\r\n\"cpath\"=\"x\"\r\n"),
        hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n")) + "\"cpath\"=\"\xc3\x28\"\n",
        windowsExport(QStringLiteral("Windows Registry Editor Version 5.00\n")) + QByteArray(1, '\0'),
    };
    for (const QByteArray& bytes : unreadable) {
        SCOPED_TRACE(bytes.toHex().left(40).toStdString());
        Hive hive;
        writeFile(hive.path, bytes);
        EXPECT_FALSE(hive.exists());  // reads find nothing
        EXPECT_EQ(hive.get(QStringLiteral("cpath")), std::nullopt);
        EXPECT_TRUE(hive.setAside().isEmpty());  // reading alone moves nothing

        hive.connect()->CreateKey(HKEY_LOCAL_MACHINE, settings::Key);
        hive.set(QStringLiteral("cpath"), QStringLiteral("nieuw"));
        EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("nieuw"));
        const QStringList aside = hive.setAside();
        ASSERT_EQ(aside.size(), 1);
        EXPECT_EQ(readFile(QFileInfo(hive.path).absolutePath() + QLatin1Char('/') + aside.first()), bytes);

        // A second broken hive in the same second gets a name of its own.
        writeFile(hive.path, bytes);
        hive.set(QStringLiteral("cpath"), QStringLiteral("weer"));
        EXPECT_EQ(hive.setAside().size(), 2);
    }
}

TEST(HiveFormat, ALockLeftEmptyByAKilledWriterSoonStopsBlockingWrites)
{
    Hive hive;
    hive.set(QStringLiteral("cpath"), QStringLiteral("oud"));
    writeFile(hive.path + QStringLiteral(".lock"), QByteArray());
    QFile lock(hive.path + QStringLiteral(".lock"));
    ASSERT_TRUE(lock.open(QIODevice::ReadWrite));
    lock.setFileTime(QDateTime::currentDateTime().addSecs(-5), QFileDevice::FileModificationTime);
    lock.close();
    hive.set(QStringLiteral("cpath"), QStringLiteral("nieuw"));
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("nieuw"));
}

TEST(HiveFormat, AnEmptyFileIsAnEmptyHive)
{
    Hive hive;
    writeFile(hive.path, QByteArray());
    EXPECT_FALSE(hive.exists());
    hive.set(QStringLiteral("cpath"), QStringLiteral("x"));
    EXPECT_EQ(hive.get(QStringLiteral("cpath")), QStringLiteral("x"));
    EXPECT_TRUE(hive.setAside().isEmpty());
}

// A relative path or none, as a system without a settings folder gives: never a hive in the working folder.
TEST(HiveFormat, AHiveWithoutAFolderCannotBeReached)
{
    for (const QString& path : {QString(), QStringLiteral("zandrel/registry.reg")}) {
        try {
            HiveRegistryService(path).Connect();
            ADD_FAILURE() << "connected to " << path.toStdString();
        } catch (const PlatformError& error) {
            EXPECT_TRUE(error.text().startsWith(QStringLiteral("De instellingen zijn niet te bereiken")))
                << error.what();
        }
    }
}

}  // namespace
}  // namespace zandrel::test
