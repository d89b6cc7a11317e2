#include "copyrun/CopyRunSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace zandrel::test {
namespace {

// A small tmpfs as the photo disk, unmounted again whatever the test does.
class SmallDisk {
public:
    SmallDisk(const QString& folder, const char* size) : folder_(folder)
    {
        mounted_ = ::geteuid() == 0 &&
                   QProcess::execute("mount", {"-t", "tmpfs", "-o", QStringLiteral("size=%1").arg(size), "tmpfs",
                                               folder}) == 0;
    }
    ~SmallDisk()
    {
        if (mounted_)
            QProcess::execute("umount", {folder_});
    }
    bool mounted() const { return mounted_; }

private:
    QString folder_;
    bool mounted_ = false;
};

TEST(CopyRunFaults, AFullDiskStopsTheRunAndLeavesNoPartialCopy)
{
    CopyRunFixture f;
    SmallDisk disk(f.photos, "1m");
    if (!disk.mounted())
        GTEST_SKIP() << "needs root to mount a tmpfs";
    f.window().sDel.setValue(1);
    f.window().sPreview.setValue(0);
    for (const char* name : {"a.dat", "b.dat", "c.dat", "d.dat", "e.dat"})
        f.cameraFile(name, 300 * 1024);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van d.dat");
    EXPECT_EQ(f.cameraNames(), QStringList({"d.dat", "e.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.dat", "b.dat", "c.dat"}));
    EXPECT_TRUE(f.window().Refresh1.Enabled());
    f.expectNothingLost();
}

TEST(CopyRunFaults, AReadOnlyCameraFileIsKeptAndStopsTheRun)
{
    CopyRunFixture f;
    f.window().sDel.setValue(1);
    f.cameraFile("a.JPG", smallJpeg(Qt::red));
    const QString locked = f.cameraFile("b.JPG", smallJpeg(Qt::green));
    f.cameraFile("c.JPG", smallJpeg(Qt::blue));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van b.JPG");
    EXPECT_EQ(f.cameraNames(), QStringList({"b.JPG", "c.JPG"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.JPG", "b.JPG"}));
    EXPECT_TRUE(f.window().sDel.Enabled());
    f.expectNothingLost();
}

// Runs what at the first file's pass of pending events, which comes right
// after the copy is published.
void atTheFirstEventPass(HookedFileSystem& fs, std::function<void()> what)
{
    auto done = std::make_shared<bool>(false);
    fs.beforeCopy = [what, done](const QString&, const QString&) {
        if (!std::exchange(*done, true))
            QTimer::singleShot(0, what);
    };
}

// The camera is unplugged while the run lets the window handle its events.
void unplugDuringTheFirstFile(CopyRunFixture& f, HookedFileSystem& fs, const QString& unpluggedAt)
{
    atTheFirstEventPass(fs, [&f, unpluggedAt] { ASSERT_TRUE(QDir().rename(f.camera, unpluggedAt)); });
    f.run();
    QDir().rename(unpluggedAt, f.camera);  // plugged in again, to see what it still holds
}

TEST(CopyRunFaults, TheCameraUnpluggedDuringTheRunStopsIt)
{
    for (int emptying : {0, 1}) {
        SCOPED_TRACE(emptying);
        auto fs = std::make_shared<HookedFileSystem>();
        CopyRunFixture f(fs);
        f.window().sDel.setValue(emptying);
        f.cameraFile("a.JPG", smallJpeg(Qt::red));
        f.cameraFile("b.JPG", smallJpeg(Qt::green));
        f.cameraFile("c.JPG", smallJpeg(Qt::blue));
        unplugDuringTheFirstFile(f, *fs, f.t.path("unplugged"));
        // Emptying, the first file cannot be deleted any more; keeping it, the second cannot be read.
        EXPECT_EQ(f.window().Message.Caption(), emptying ? "ERROR kopiëren van a.JPG" : "ERROR kopiëren van b.JPG");
        EXPECT_EQ(f.targetNames(), QStringList({"a.JPG"}));
        EXPECT_EQ(f.cameraNames(), QStringList({"a.JPG", "b.JPG", "c.JPG"}));
        EXPECT_TRUE(f.window().Refresh1.Enabled());
        f.expectNothingLost();
    }
}

TEST(CopyRunFaults, ClosingTheWindowAtAnEventPassStopsAfterThatFileAndThenCloses)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.window().sDel.setValue(1);
    f.setOpenAfterwards(true);
    for (const char* name : {"a.dat", "b.dat", "c.dat"})
        f.cameraFile(name, 200000);
    bool closedAtOnce = true;
    atTheFirstEventPass(*fs, [&] { closedAtOnce = f.window().close(); });
    f.run();
    EXPECT_FALSE(closedAtOnce);  // the run was under way
    EXPECT_FALSE(f.window().isVisible());
    EXPECT_FALSE(f.window().copyRunActive());
    EXPECT_EQ(f.cameraNames(), QStringList({"b.dat", "c.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.dat"}));
    EXPECT_TRUE(f.t.launcher->launches.empty());
    f.expectNothingLost();
}

}  // namespace
}  // namespace zandrel::test
