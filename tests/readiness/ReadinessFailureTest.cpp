#include "ReadinessSupport.h"

#include <QCoreApplication>
#include <QProcess>
#include <unistd.h>

namespace zandrel::test {
namespace {

const QString kCameraUnreadableText = QStringLiteral("Kan de camera niet lezen");
const QString kDriveUnknownText = QStringLiteral("Kan de schijf van de foto folder niet bepalen");

using Failure = ReadinessCheck;

TEST_F(Failure, CameraWhoseSizeCannotBeReadBlocksUntilItCanAgain)
{
    cameraWith({{"IMG_0001.JPG", 2500000}});
    EXPECT_EQ(check(camera, photos), ready("1", "2"));
    fs->sizeUnreadable = true;
    EXPECT_EQ(check(), blocked(kCameraUnreadableText)) << "no half-measured figures either";
    fs->sizeUnreadable = false;
    EXPECT_EQ(check(), ready("1", "2"));
}

TEST_F(Failure, CameraPulledBetweenLookingAndMeasuring)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    fs->vanishOnLookAt = camera;
    EXPECT_EQ(check(camera, photos), blocked(kCameraUnreadableText));
    fs->vanishOnLookAt.clear();
    EXPECT_EQ(check(), blocked(kNotConnectedText));
}

TEST_F(Failure, PhotoDriveThatCannotBeDeterminedBlocks)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    EXPECT_EQ(check(camera, photos), ready("1", "0"));
    fs->driveUnknown = true;
    EXPECT_EQ(check(), blocked(kDriveUnknownText, "1", "0"));
    EXPECT_EQ(photoFolderLookOf(w), kFound) << "the folder itself was found";
}

TEST_F(Failure, AFailureIsNotHiddenBehindTheSameFolderMessage)
{
    cameraWith({{"IMG_0001.JPG", 10}});
    fs->driveUnknown = true;
    EXPECT_EQ(check(camera, camera), blocked(kDriveUnknownText, "1", "0"));
}

// Root reads every folder, so an unreadable subfolder is met by an ordinary
// user: this test program runs the disabled test below again as uid 65534.
TEST(ReadinessAsOrdinaryUser, UnreadableSubfolderIsReportedInTheWindow)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "dropping to another user needs root";
    QTemporaryDir dir;
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                      QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    QDir().mkpath(dir.filePath(QStringLiteral("DCIM/privé")));
    for (const char* name : {"DCIM/IMG_0001.JPG", "DCIM/privé/IMG_0002.JPG"}) {
        QFile file(dir.filePath(QString::fromUtf8(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("foto");
    }
    QFile::setPermissions(dir.path(), open);
    QFile::setPermissions(dir.filePath(QStringLiteral("DCIM")), open);
    QFile::setPermissions(dir.filePath(QStringLiteral("DCIM/privé")), QFileDevice::Permissions());

    const auto child = startTestChild(
        QStringLiteral("ReadinessAsOrdinaryUser.DISABLED_*"),
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
