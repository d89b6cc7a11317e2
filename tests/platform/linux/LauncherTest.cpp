#include "support/RealSystem.h"

#include "platform/PlatformError.h"
#include "platform/linux/LinuxDesktop.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

// A PATH whose only xdg-open writes the arguments it was given to a file,
// one NUL after each, so that nothing in them can be lost or split unseen.
class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString script = dir.filePath(QStringLiteral("bin/xdg-open"));
        QDir().mkpath(dir.filePath(QStringLiteral("bin")));
        writeFile(script,
                  "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$(dirname \"$0\")/../argv.part\"\n"
                  "mv \"$(dirname \"$0\")/../argv.part\" \"$(dirname \"$0\")/../argv\"\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        savedPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("bin"))) + ":/usr/bin:/bin");
    }
    void TearDown() override { qputenv("PATH", savedPath); }

    // The launch is detached: wait for the fake to have run, however long the machine takes.
    QByteArray argumentsReceived() const
    {
        const QString argv = dir.filePath(QStringLiteral("argv"));
        for (QDeadlineTimer deadline(60'000); !QFile::exists(argv) && !deadline.hasExpired();)
            QThread::msleep(20);
        return readFile(argv);
    }

    QTemporaryDir dir;
    QByteArray savedPath;
    LinuxLauncher launcher;
};

TEST_F(LauncherTest, ExplorerGetsThePathAsOneUntouchedArgumentWithoutAShell)
{
    const QString planted = dir.filePath(QStringLiteral("planted"));
    const QString path =
        dir.filePath(QStringLiteral("Foto's \"2026\" ; echo x > %1; $(touch %1) `touch %1` é")).arg(planted);
    launcher.Launch(QStringLiteral("explorer"), path);
    EXPECT_EQ(argumentsReceived(), QFile::encodeName(path) + '\0');
    EXPECT_FALSE(QFile::exists(planted)) << "a shell interpreted the path";
}

TEST_F(LauncherTest, WebAddressIsPassedOnAsItStands)
{
    const QString address = QStringLiteral("https://example.org/zandrel?versie=1&taal=nl");
    launcher.Launch(QStringLiteral("explorer"), address);
    EXPECT_EQ(argumentsReceived(), address.toUtf8() + '\0');
}

TEST_F(LauncherTest, MissingFileManagerIsReported)
{
    qputenv("PATH", QFile::encodeName(dir.filePath(QStringLiteral("nothing here"))));
    EXPECT_THROW(launcher.Launch(QStringLiteral("explorer"), dir.path()), PlatformError);
}

}  // namespace
}  // namespace zandrel::test
