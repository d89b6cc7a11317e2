#include "platform/portable/HiveFile.h"
#include "settings/SettingsTestSupport.h"
#include "support/linux/LinuxSystem.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLockFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

// Several processes on one hive. The parent tests start this test program again
// with one of the HiveChild tests selected; those are disabled in a normal run.

namespace zandrel::test {
namespace {

const QString kFullKey = QStringLiteral("HKEY_LOCAL_MACHINE\\") + settings::Key;
const char* const kHiveVariable = "ZANDREL_CHILD_HIVE";
constexpr int kBigValueChars = 1000000;

QString childSetting(const char* name) { return qEnvironmentVariable(name); }

// The child runs under the given wrapper command (setpriv, strace), if any.
std::unique_ptr<QProcess> startChild(const QString& test, const std::map<QString, QString>& variables,
                                     QStringList wrapper = {})
{
    return startTestChild(QStringLiteral("HiveChild.DISABLED_") + test, variables, wrapper);
}

void expectChildPassed(QProcess& child)
{
    if (child.state() != QProcess::NotRunning) {
        ASSERT_TRUE(child.waitForFinished(-1));
    }
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit) << output.toStdString();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

std::optional<QString> valueIn(const HiveRead& read, const QString& name)
{
    if (!read.document)
        return std::nullopt;
    const auto value = read.document->value(kFullKey, name);
    return value ? std::optional<QString>(value->text) : std::nullopt;
}

// ---- the children ----

TEST(HiveChild, DISABLED_WritesItsOwnValues)
{
    const QString hive = childSetting(kHiveVariable);
    if (hive.isEmpty())
        GTEST_SKIP() << "only run by HiveProcesses";
    const QString prefix = childSetting("ZANDREL_CHILD_PREFIX");
    const int count = childSetting("ZANDREL_CHILD_COUNT").toInt();
    HiveRegistryService service(hive);
    for (int i = 0; i < count; ++i) {
        service.Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, prefix + QString::number(i),
                                          QString::number(i));
        const HiveRead read = readHiveFile(hive);
        ASSERT_EQ(read.state, HiveRead::State::Read) << "after write " << i;
        ASSERT_EQ(valueIn(read, prefix + QString::number(i)), QString::number(i));
    }
}

TEST(HiveChild, DISABLED_WritesUntilKilled)
{
    const QString hive = childSetting(kHiveVariable);
    if (hive.isEmpty())
        GTEST_SKIP() << "only run by HiveProcesses";
    HiveRegistryService service(hive);
    for (int i = 0;; ++i) {
        const QString text = QString(kBigValueChars, QLatin1Char(i % 2 ? 'B' : 'A')) + QLatin1Char(':')
            + QString::number(i);
        service.Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("groot"), text);
        std::printf("written %d\n", i);
        std::fflush(stdout);
    }
}

TEST(HiveChild, DISABLED_WindowOnAHiveThatRefusesWrites)
{
    const QString hive = childSetting(kHiveVariable);
    if (hive.isEmpty())
        GTEST_SKIP() << "only run by HiveProcesses";
    const QString camera = childSetting("ZANDREL_CHILD_CPATH");
    const QString photos = childSetting("ZANDREL_CHILD_FPATH");
    TestWindow t;
    t.window = windowOn(t, std::make_shared<HiveRegistryService>(hive));
    Zandrel& w = *t.window;
    QElapsedTimer waited;
    waited.start();
    w.Start();
    EXPECT_LT(waited.elapsed(), 1000) << "the window waited that long for the settings";
    EXPECT_EQ(w.Cpath.Text(), camera);
    EXPECT_EQ(w.Fpath.Text(), photos);
    EXPECT_EQ(w.sOpen.Value(), 1);

    static_cast<QCheckBox*>(w.sSet.widget())->click();
    ASSERT_TRUE(w.SETcamera.Visible());
    userTypes(w.Cpath, t.makeFolder(QStringLiteral("nieuwe camera")));
    userTypes(w.Fpath, t.makeFolder(QStringLiteral("nieuwe foto's")));
    waited.restart();
    w.SETcamera.click();
    EXPECT_LT(waited.elapsed(), 800) << "Save waited that long for the settings";
    EXPECT_EQ(w.Cpath.Text(), camera);
    EXPECT_EQ(w.Fpath.Text(), photos);
    EXPECT_EQ(w.sSet.Value(), 0);
    waited.restart();
    static_cast<QCheckBox*>(w.sOpen.widget())->click();
    EXPECT_LT(waited.elapsed(), 800) << "a click on sOpen waited that long for the settings";
    EXPECT_TRUE(t.messageBox->shown.empty());
}

// ---- the parents ----

TEST(HiveProcesses, TwoWritersAtOnceLoseNothingAndTheFileAlwaysParses)
{
    QTemporaryDir dir;
    const QString hive = dir.filePath(QStringLiteral("zandrel/registry.reg"));
    constexpr int kWrites = 300;
    auto first = startChild(QStringLiteral("WritesItsOwnValues"),
                            {{kHiveVariable, hive}, {"ZANDREL_CHILD_PREFIX", "een"}, {"ZANDREL_CHILD_COUNT", "300"}});
    auto second = startChild(QStringLiteral("WritesItsOwnValues"),
                             {{kHiveVariable, hive}, {"ZANDREL_CHILD_PREFIX", "twee"}, {"ZANDREL_CHILD_COUNT", "300"}});
    // Meanwhile a reader that takes no lock never meets a half-written file: once
    // the key is there, every read finds it.
    int reads = 0, keyMissing = 0;
    bool keySeen = false;
    while (first->state() != QProcess::NotRunning || second->state() != QProcess::NotRunning) {
        const HiveRead read = readHiveFile(hive);
        const bool hasKey = read.document && read.document->hasKey(kFullKey);
        keyMissing += keySeen && !hasKey;
        keySeen = keySeen || hasKey;
        ++reads;
        first->waitForFinished(1);
        second->waitForFinished(1);
    }
    expectChildPassed(*first);
    expectChildPassed(*second);
    EXPECT_EQ(keyMissing, 0) << "in " << reads << " reads";

    const HiveRead read = readHiveFile(hive);
    ASSERT_EQ(read.state, HiveRead::State::Read);
    for (int i = 0; i < kWrites; ++i) {
        EXPECT_EQ(valueIn(read, QStringLiteral("een%1").arg(i)), QString::number(i));
        EXPECT_EQ(valueIn(read, QStringLiteral("twee%1").arg(i)), QString::number(i));
    }
    EXPECT_EQ(entries(QFileInfo(hive).absolutePath()), QStringList{QStringLiteral("registry.reg")});
}

TEST(HiveProcesses, AWriterKilledMidWriteLeavesTheOldFileOrTheNewOne)
{
    QTemporaryDir dir;
    const QString hive = dir.filePath(QStringLiteral("zandrel/registry.reg"));
    HiveRegistryService service(hive);
    service.Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("merk"),
                                      QStringLiteral("blijft"));
    const QRegularExpression written(QStringLiteral("^written (\\d+)$"));
    const QRegularExpression big(QStringLiteral("^(A+|B+):(\\d+)$"));

    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        auto child = startChild(QStringLiteral("WritesUntilKilled"), {{kHiveVariable, hive}});
        int done = -1;
        while (done < 2 + round && child->waitForReadyRead(-1))
            while (child->canReadLine())
                if (const auto match = written.match(QString::fromUtf8(child->readLine()).trimmed()); match.hasMatch())
                    done = match.captured(1).toInt();
        ASSERT_GE(done, 2 + round) << "the writer stopped on its own";
        child->kill();  // in the middle of its next write
        child->waitForFinished(-1);

        const HiveRead read = readHiveFile(hive);
        ASSERT_EQ(read.state, HiveRead::State::Read);
        EXPECT_EQ(valueIn(read, QStringLiteral("merk")), QStringLiteral("blijft"));
        const auto match = big.match(valueIn(read, QStringLiteral("groot")).value_or(QString()));
        ASSERT_TRUE(match.hasMatch());
        EXPECT_EQ(match.captured(1).size(), kBigValueChars);
        const int found = match.captured(2).toInt();
        EXPECT_TRUE(found == done || found == done + 1) << found << " after " << done;
        // The dead writer's lock does not stand in the way of the next one.
        service.Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("na"),
                                          QString::number(round));
        EXPECT_EQ(valueIn(readHiveFile(hive), QStringLiteral("na")), QString::number(round));
    }
}

// Killed by strace as it enters the call, before the new file is synced or published.
TEST(HiveProcesses, AWriterKilledJustBeforeItsNewFileIsPublishedLeavesTheOldOne)
{
    if (QStandardPaths::findExecutable(QStringLiteral("strace")).isEmpty())
        GTEST_SKIP() << "strace is not installed";
    for (const QString& calls : {QStringLiteral("fsync,fdatasync"), QStringLiteral("rename,renameat,renameat2")}) {
        SCOPED_TRACE(calls.toStdString());
        QTemporaryDir dir;
        const QString hive = dir.filePath(QStringLiteral("zandrel/registry.reg"));
        HiveRegistryService(hive).Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("merk"),
                                                            QStringLiteral("blijft"));
        const QByteArray before = readFile(hive);
        const QStringList strace{QStringLiteral("strace"),
                                 QStringLiteral("-f"),
                                 QStringLiteral("-qq"),
                                 QStringLiteral("-o"),
                                 QStringLiteral("/dev/null"),
                                 QStringLiteral("-e"),
                                 QStringLiteral("trace=") + calls,
                                 QStringLiteral("-e"),
                                 QStringLiteral("inject=") + calls + QStringLiteral(":signal=KILL")};
        auto child = startChild(QStringLiteral("WritesUntilKilled"), {{kHiveVariable, hive}}, strace);
        QByteArray output;
        while (!output.contains("written") && child->waitForReadyRead(-1))
            output += child->readAll();
        if (output.contains("written"))
            child->kill();
        child->waitForFinished(-1);
        EXPECT_FALSE(output.contains("written")) << "a write finished without " << calls.toStdString();
        const QByteArray after = readFile(hive);
        EXPECT_TRUE(after == before) << "the hive now holds " << after.size() << " bytes";
        HiveRegistryService(hive).Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("na"),
                                                            QStringLiteral("1"));
        EXPECT_EQ(storedValue(hive, QStringLiteral("na")), QStringLiteral("1"));
        EXPECT_EQ(storedValue(hive, QStringLiteral("merk")), QStringLiteral("blijft"));
    }
}

TEST(HiveProcesses, AFolderThatCannotBeWrittenRefusesWritesQuietly)
{
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                              | QFile::ReadOther | QFile::ExeOther);
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::ExeOther;

    // No hive yet, and its folder cannot be made: nothing is found, nothing is kept.
    const QString config = dir.filePath(QStringLiteral("config"));
    QDir().mkpath(config);
    QFile::setPermissions(config, readOnly);
    const QString noHive = config + QStringLiteral("/zandrel/registry.reg");
    auto child =
        startChild(QStringLiteral("WindowOnAHiveThatRefusesWrites"),
                   {{kHiveVariable, noHive}, {"ZANDREL_CHILD_CPATH", "Unknown"}, {"ZANDREL_CHILD_FPATH", "Unknown"}},
                   asOtherUser());
    expectChildPassed(*child);
    EXPECT_TRUE(entries(config).isEmpty());

    // A hive that can still be read in a folder that cannot be written: Save keeps the old folders.
    const QString folder = dir.filePath(QStringLiteral("vast/zandrel"));
    const QString hive = folder + QStringLiteral("/registry.reg");
    const QByteArray stored = hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                                      "\"cpath\"=\"/oud/camera\"\n\"fpath\"=\"/oud/foto\"\n"
                                                      "\"sOpen\"=\"1\"\n\n"));
    writeFile(hive, stored);
    QFile::setPermissions(QFileInfo(folder).absolutePath(), readOnly);
    QFile::setPermissions(folder, readOnly);
    child = startChild(
        QStringLiteral("WindowOnAHiveThatRefusesWrites"),
        {{kHiveVariable, hive}, {"ZANDREL_CHILD_CPATH", "/oud/camera"}, {"ZANDREL_CHILD_FPATH", "/oud/foto"}},
        asOtherUser());
    expectChildPassed(*child);
    EXPECT_EQ(readFile(hive), stored);
    EXPECT_EQ(entries(folder), QStringList{QStringLiteral("registry.reg")});
    for (const QString& cleanedUp : {folder, QFileInfo(folder).absolutePath(), config})
        QFile::setPermissions(cleanedUp, readOnly | QFile::WriteOwner);
}

// A run under another account (sudo) left its lock beside the settings. This
// user cannot take it over: it cannot be read, or it can be read but not
// written. The window comes up at once and every write is refused without a wait.
TEST(HiveProcesses, AnotherAccountsLockRefusesWritesWithoutAStall)
{
    if (asOtherUser().isEmpty())
        GTEST_SKIP() << "needs root to leave a lock of another account";
    struct Case {
        const char* what;
        mode_t lockMode;
        mode_t folderMode;
        bool usersFolder;
    };
    const std::unique_ptr<QProcess> gone = startProcess(QStringLiteral("true"), {});
    ASSERT_TRUE(gone->waitForStarted());
    const qint64 deadPid = gone->processId();
    gone->waitForFinished();
    for (const Case& c : {Case{"unreadable, in a folder everyone may write to", 0600, 01777, false},
                          Case{"readable, in the user's own folder", 0644, 0755, true}}) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ::chmod(QFile::encodeName(dir.path()).constData(), 0755);
        const QString folder = dir.filePath(QStringLiteral("zandrel"));
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), c.folderMode);
        if (c.usersFolder) {
            ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        }
        const QString lock = folder + QStringLiteral("/registry.reg.lock");
        writeFile(lock, QStringLiteral("%1\nzandrel\n%2\n").arg(deadPid).arg(QSysInfo::machineHostName()).toUtf8());
        ::chmod(QFile::encodeName(lock).constData(), c.lockMode);
        auto child = startChild(QStringLiteral("WindowOnAHiveThatRefusesWrites"),
                                {{kHiveVariable, folder + QStringLiteral("/registry.reg")},
                                 {"ZANDREL_CHILD_CPATH", "Unknown"},
                                 {"ZANDREL_CHILD_FPATH", "Unknown"}},
                                asOtherUser());
        expectChildPassed(*child);
        EXPECT_EQ(entries(folder), QStringList{QStringLiteral("registry.reg.lock")});
    }
}

// Another window is saving and holds the lock: a write waits a moment for it,
// never seconds, and is then dropped like a refused one.
TEST(HiveProcesses, ALiveWritersLockHoldsUpAClickOnlyAMoment)
{
    QTemporaryDir dir;
    const QString hive = dir.filePath(QStringLiteral("zandrel/registry.reg"));
    const QByteArray stored = hiveText(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zandrel]\n"
                                                      "\"cpath\"=\"/oud/camera\"\n\"fpath\"=\"/oud/foto\"\n"
                                                      "\"sOpen\"=\"1\"\n\n"));
    writeFile(hive, stored);
    QLockFile writer(hive + QStringLiteral(".lock"));
    ASSERT_TRUE(writer.tryLock(0));
    auto child = startChild(
        QStringLiteral("WindowOnAHiveThatRefusesWrites"),
        {{kHiveVariable, hive}, {"ZANDREL_CHILD_CPATH", "/oud/camera"}, {"ZANDREL_CHILD_FPATH", "/oud/foto"}});
    expectChildPassed(*child);
    EXPECT_EQ(readFile(hive), stored);
    writer.unlock();
    HiveRegistryService(hive).Connect()->SetStringValue(HKEY_LOCAL_MACHINE, settings::Key, QStringLiteral("na"),
                                                        QStringLiteral("1"));
    EXPECT_EQ(storedValue(hive, QStringLiteral("na")), QStringLiteral("1"));
}

}  // namespace
}  // namespace zandrel::test
