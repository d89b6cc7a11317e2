#include "readiness/ReadinessSupport.h"
#include "support/linux/LinuxSystem.h"

#include <QProcess>
#include <unistd.h>

namespace zandrel::test {
namespace {

const QString kCameraUnreadableText = QStringLiteral("Kan de camera niet lezen");

// Root reads every folder, so an unreadable subfolder is met by an ordinary
// user: this test program runs the disabled test below again as uid 65534.
TEST(ReadinessAsOrdinaryUser, UnreadableSubfolderIsReportedInTheWindow)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "dropping to another user needs root";
    QTemporaryDir dir;
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    QDir().mkpath(dir.filePath(QStringLiteral("DCIM/privé")));
    for (const char* name : {"DCIM/IMG_0001.JPG", "DCIM/privé/IMG_0002.JPG"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("foto");
    }
    QFile::setPermissions(dir.path(), open);
    QFile::setPermissions(dir.filePath(QStringLiteral("DCIM")), open);
    QFile::setPermissions(dir.filePath(QStringLiteral("DCIM/privé")), QFileDevice::Permissions());

    const auto child =
        startTestChild(QStringLiteral("ReadinessAsOrdinaryUser.DISABLED_*"),
                       {{QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen")},
                        {QStringLiteral("ZANDREL_UNREADABLE_CAMERA"), dir.filePath(QStringLiteral("DCIM"))}},
                       asOtherUser());
    ASSERT_TRUE(child->waitForStarted()) << "setpriv is missing";
    child->waitForFinished(-1);
    const QByteArray output = child->readAll();
    EXPECT_EQ(child->exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

TEST(ReadinessAsOrdinaryUser, DISABLED_UnreadableSubfolderSeenByTheUser)
{
    const QString camera = qEnvironmentVariable("ZANDREL_UNREADABLE_CAMERA");
    ASSERT_FALSE(camera.isEmpty()) << "run by the test above";
    ASSERT_NE(::geteuid(), 0u);
    TestWindow t;
    storeFolders(t, camera, t.makeFolder(QStringLiteral("Fotos")), true);
    t.window->Refresh1.click();
    EXPECT_EQ(outcomeOf(*t.window), blocked(kCameraUnreadableText));
    EXPECT_TRUE(t.messageBox->shown.empty());
}

}  // namespace
}  // namespace zandrel::test
