#include "copyrun/CopyRunSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <utility>

namespace zandrel::test {
namespace {

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

TEST(CopyRunFaults, ClosingDuringALargeFileEndsAtOnceAndKeepsItsCameraFile)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setTicks(true, false);
    f.cameraFile("a.dat", 1000);
    f.cameraFile("b.MOV", 16 << 20);
    f.cameraFile("c.dat", 1000);
    QElapsedTimer sinceClose;
    QObject context;
    // A card that takes seconds over the movie; the window is closed when a few megabytes are read.
    fs->whileReading = [&](const QString& source, qint64 done) {
        if (!source.endsWith("b.MOV"))
            return;
        if (done == 4 << 20)
            QMetaObject::invokeMethod(
                &context,
                [&] {
                    sinceClose.start();
                    f.window().close();
                },
                Qt::QueuedConnection);
        QThread::msleep(100);
    };
    f.run();
    ASSERT_TRUE(sinceClose.isValid()) << "never closed";
    EXPECT_LT(sinceClose.elapsed(), 1000);
    EXPECT_FALSE(f.window().isVisible());
    EXPECT_FALSE(f.window().copyRunActive());
    EXPECT_EQ(f.cameraNames(), QStringList({"b.MOV", "c.dat"}));
    EXPECT_EQ(f.targetNames(), QStringList({"a.dat"}));  // hidden files too: no temporary file
    EXPECT_EQ(fs->liveCopies(), 0);
    f.expectNothingLost();
}

}  // namespace
}  // namespace zandrel::test
