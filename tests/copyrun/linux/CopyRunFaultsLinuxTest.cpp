#include "copyrun/CopyRunSupport.h"
#include "support/linux/LinuxSystem.h"

#include <QDir>
#include <QFile>
#include <QTimer>
#include <gtest/gtest.h>
#include <functional>
#include <utility>
#include <sys/stat.h>
#include <unistd.h>

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

// Another user made the dated subfolder in a photo folder that everyone may
// write to, and could empty it once the run has emptied the camera.
TEST(CopyRunFaults, ASubfolderAnotherUserPlantedInASharedPhotoFolderIsNotUsed)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant another user's folder";
    CopyRunFixture f;
    f.setTicks(true, false);
    f.cameraFile("a.JPG", smallJpeg(Qt::red));
    f.cameraFile("b.JPG", smallJpeg(Qt::green));
    ASSERT_EQ(::chmod(QFile::encodeName(f.photos).constData(), 01777), 0);
    QDir().mkpath(f.target());
    ASSERT_EQ(::chown(QFile::encodeName(f.target()).constData(), 65534, 65534), 0);
    f.run();
    EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van a.JPG");
    EXPECT_EQ(f.cameraNames(), QStringList({"a.JPG", "b.JPG"}));
    EXPECT_TRUE(f.targetNames().isEmpty());
}

void append(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::Append) && file.write(bytes) == bytes.size());
}

// Windows keeps the staged camera file from being written, renamed or replaced
// (its own tests check that), so only Linux can change it under the run.
// The camera file the run would delete is not the one it copied: it grew after
// it was read, grew after its copy was published, or is a link swapped in.
TEST(CopyRunFaults, ACameraFileChangedOrSwappedAfterItWasListedIsKeptAndStopsTheRun)
{
    enum Change { GrownAfterReading, GrownAfterPublishing, SwappedForALink };
    for (Change change : {GrownAfterReading, GrownAfterPublishing, SwappedForALink}) {
        SCOPED_TRACE(change);
        auto fs = std::make_shared<HookedFileSystem>();
        CopyRunFixture f(fs);
        f.setTicks(true, false);
        f.cameraFile("a.dat", 1000);
        const QString b = f.cameraFile("b.dat", 300000);
        f.cameraFile("c.dat", 1000);
        const QByteArray secret = "another file's text";
        const QString elsewhere = f.t.makeFile("secret.txt", secret);
        if (change == GrownAfterReading) {
            fs->whileVerifying = [&](const QString& source) {
                if (source == b) {
                    append(b, "more");
                }
            };
        } else if (change == GrownAfterPublishing) {
            fs->beforeCopy = [&](const QString& source, const QString&) {
                if (source == b)
                    QTimer::singleShot(0, [&] { append(b, "more"); });
            };
        } else {
            fs->whileStaging = [&](const QString& source) {
                if (source == b) {
                    ASSERT_TRUE(QFile::remove(b) && QFile::link(elsewhere, b));
                }
            };
        }
        f.run();
        EXPECT_EQ(f.window().Message.Caption(), "ERROR kopiëren van b.dat");
        EXPECT_EQ(f.cameraNames(), QStringList({"b.dat", "c.dat"}));
        EXPECT_FALSE(f.window().Message.widget()->toolTip().isEmpty());
        // A copy that may be torn never gets a photo's name; one that was complete may stay.
        const QStringList expected = change == GrownAfterPublishing ? QStringList({"a.dat", "b.dat"})
                                                                    : QStringList({"a.dat"});
        EXPECT_EQ(f.targetNames(), expected);
        if (change != SwappedForALink) {
            EXPECT_EQ(QFileInfo(b).size(), 300004);  // kept with what was added
        }
        EXPECT_NE(f.targetBytes("b.dat"), secret);
        EXPECT_EQ(fs->liveCopies(), 0);
    }
}

// Linux's folder stamp tells every change at once; where a system gives none
// (Windows), the tally counts afresh at the spacing it keeps for coarse stamps.
TEST(CopyRunEmptying, FilesAddedDuringTheRunAreCountedAtOnce)
{
    auto fs = std::make_shared<HookedFileSystem>();
    CopyRunFixture f(fs);
    f.setTicks(true, false);
    for (int n = 0; n < 10; ++n)
        f.cameraFile(QStringLiteral("%1.dat").arg(n), 100);
    fs->beforeCopy = [&](const QString& source, const QString&) {
        if (source.endsWith(kPathSeparator + QStringLiteral("1.dat")))
            QTimer::singleShot(0, [&] {
                for (const char* name : {"x.dat", "y.dat", "z.dat"})
                    f.t.makeFile(QStringLiteral("camera/") + name, "new");
            });
    };
    ShownTexts count(f.window().sAantal);
    f.run();
    // After the second copy: 8 left of the 10, and the 3 new ones.
    EXPECT_EQ(count.from("11"), QStringList({"11", "10", "9", "8", "7", "6", "5", "4", "3"}));
    EXPECT_EQ(count.texts.mid(count.texts.indexOf("11") - 2, 2), QStringList({"10", "9"}));
    EXPECT_EQ(f.cameraNames(), QStringList({"x.dat", "y.dat", "z.dat"}));
}

}  // namespace
}  // namespace zandrel::test
