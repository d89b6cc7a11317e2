#include "copyrun/CopyRunSupport.h"
#include "support/linux/LinuxSystem.h"

#include <gtest/gtest.h>

namespace zandrel::test {
namespace {

TEST(CopyRunFaults, AFullDiskStopsTheRunAndLeavesNoPartialCopy)
{
    CopyRunFixture f;
    TmpfsMount disk(f.photos, 1 << 20);  // a small photo disk
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a tmpfs";
    f.setTicks(true, false);
    for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"})
        f.cameraFile(name, 300 * 1024);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van d.dat");
    EXPECT_EQ(f.cameraNames(), QStringList({"d.dat", "e.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.dat", "b.dat", "c.dat"}));
    EXPECT_TRUE(f.window().Refresh1.Enabled());
    f.expectNothingLost();
}

}  // namespace
}  // namespace zandrel::test
