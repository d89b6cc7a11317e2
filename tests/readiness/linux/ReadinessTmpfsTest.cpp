#include "readiness/ReadinessSupport.h"
#include "support/linux/LinuxSystem.h"

#include <QFile>
#include <unistd.h>

namespace zandrel::test {
namespace {

// The photo folder is the root of a small tmpfs, so the free space is the
// kernel's own figure.
class RoomOnTmpfs : public ReadinessCheck {
protected:
    const QString drive = t.path(QStringLiteral("Schijf"));
};

TEST_F(RoomOnTmpfs, FillingTheLastPageTakesTheRoomAway)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    cameraWith({{"IMG_0001.JPG", 2500000}});
    const TmpfsMount mount(drive, 12 * kFreeMegabyte);  // a whole number of pages
    ASSERT_TRUE(mount.mounted()) << "mount -t tmpfs failed";
    EXPECT_EQ(check(camera, drive), ready("1", "2"));
    t.makeFile(QStringLiteral("Schijf/bijna-vol"), QByteArray(1, 'x'));
    EXPECT_EQ(check(), blocked(noRoomText(drive), "1", "2")) << "a tmpfs without a label is named by its mount point";
}

// A run killed on a disk without unnamed files (exFAT) leaves its temporary
// copies in the dated subfolder; no living run holds them, so they are
// cleared before the room is judged, and the next run can start.
TEST_F(RoomOnTmpfs, ADeadRunsTemporaryCopiesDoNotKeepTheNextRunFromStarting)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    cameraWith({{"IMG_0001.JPG", 2500000}});
    const TmpfsMount mount(drive, 20 * kFreeMegabyte);
    ASSERT_TRUE(mount.mounted()) << "mount -t tmpfs failed";
    w.sFolder.setText(QStringLiteral("2026 December"));
    const QString leftover = t.makeFile(QStringLiteral("Schijf/2026 December/.zandrel-tmp-42-abcdefgh12345678"),
                                        QByteArray(10 * kFreeMegabyte, 'x'));
    EXPECT_EQ(check(camera, drive), ready("1", "2"));
    EXPECT_FALSE(QFile::exists(leftover));
}

// Sparse files can claim more bytes together than a number holds: the size
// stops at the largest, which no disk has room for.
TEST_F(RoomOnTmpfs, SizesTooLargeToAddUpStopAtTheLargestAndBlock)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a tmpfs needs root";
    const TmpfsMount mount(camera, 1 << 20);
    ASSERT_TRUE(mount.mounted()) << "mount -t tmpfs failed";
    for (const char* name : {"/a.mov", "/b.mov"}) {
        t.makeFile(QStringLiteral("DCIM") + QLatin1String(name), QByteArray());
        ASSERT_EQ(::truncate(QFile::encodeName(camera + QLatin1String(name)).constData(), off_t(1) << 62), 0);
    }
    EXPECT_EQ(check(camera, photos), blocked(noRoomText(fs->driveLetterOf(photos)), "2", "9223372036854"));
}

}  // namespace
}  // namespace zandrel::test
