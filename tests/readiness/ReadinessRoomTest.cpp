#include "ReadinessSupport.h"

namespace zandrel::test {
namespace {

using Room = ReadinessCheck;

// The shown size is what counts: 2.5 million bytes show as 2, so 12 free
// megabytes are enough although they leave only 9.5 of the camera's to spare.
TEST_F(Room, TenFreeMegabytesOverTheShownSizeAreEnoughAByteLessIsNot)
{
    cameraWith({{"IMG_0001.JPG", 2500000}});
    fs->freespace = 12 * kFreeMegabyte;
    EXPECT_EQ(check(camera, photos), ready("1", "2"));
    fs->freespace = 12 * kFreeMegabyte - 1;
    EXPECT_EQ(check(), blocked(noRoomText(fs->driveLetterOf(photos)), "1", "2"));
}

TEST_F(Room, AnEmptyCameraNeedsTenFreeMegabytesToBeCalledEmpty)
{
    cameraWith({});
    fs->freespace = 10 * kFreeMegabyte;
    EXPECT_EQ(check(camera, photos), empty());
    fs->freespace = 10 * kFreeMegabyte - 1;
    EXPECT_EQ(check(), blocked(noRoomText(fs->driveLetterOf(photos))));
}

}  // namespace
}  // namespace zandrel::test
