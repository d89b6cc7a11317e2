#include "ReadinessSupport.h"

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

}  // namespace
}  // namespace zandrel::test
