// The safe copy where only Linux can make the case: links, a full tmpfs, a
// writer's lock, another user's link, exFAT through FUSE, and the copy's own steps.
#include "platform/FileSystemFixture.h"
#include "support/linux/LinuxSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zandrel::test {
namespace {

INSTANTIATE_TEST_SUITE_P(BothChecks, SafeCopyTest, ::testing::Values(CopyCheck::Plain, CopyCheck::VerifiedOnDisk),
                         checkName);

TEST_P(SafeCopyTest, NeverReplacesAFolderOrALinkEither)
{
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    QDir().mkpath(inPhotos(QStringLiteral("map.jpg")));
    ASSERT_EQ(::symlink("nowhere", QFile::encodeName(inPhotos(QStringLiteral("link.jpg"))).constData()), 0);
    EXPECT_THROW(copyToPhotos(source, QStringLiteral("map.jpg")), TargetTaken);
    EXPECT_THROW(copyToPhotos(source, QStringLiteral("link.jpg")), TargetTaken);
    EXPECT_FALSE(QFile::exists(photos() + QStringLiteral("/nowhere")));
    EXPECT_EQ(entries(photos()), (QStringList{QStringLiteral("link.jpg"), QStringLiteral("map.jpg")}));
}

TEST_P(SafeCopyTest, FullDiskLeavesNoPartialFile)
{
    TmpfsMount disk(2 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.problem);
    photosRoot = disk.path();
    const QByteArray bytes = randomBytes(3 << 20);
    const QString source = shoot(QStringLiteral("IMG_0001.JPG"), bytes);
    const qint64 free = fs.GetDrive(disk.path()).freespace;
    try {
        copyToPhotos(source, QStringLiteral("IMG_0001.JPG"));
        FAIL() << "a file larger than the disk was copied";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.text().endsWith(QStringLiteral(": No space left on device"))) << error.what();
    }
    EXPECT_TRUE(entries(photos()).isEmpty());
    EXPECT_EQ(fs.GetDrive(disk.path()).freespace, free) << "the unfinished copy still takes room";
    EXPECT_EQ(readFile(source), bytes);
}

// A temporary file as a copy in progress leaves it, of the given writer's pid.
QString tempOf(const QString& folder, qint64 pid, const QString& rest = QStringLiteral("abcdefgh12345678"))
{
    const QString path = folder + QStringLiteral("/.zandrel-tmp-%1-%2").arg(pid).arg(rest);
    writeFile(path, "half a photo");
    return path;
}

// Only a temporary file that no writer holds goes, whatever pid its name
// carries: a run in a container may have ours, or one that is dead here.
void expectOnlyAbandonedTemporaryFilesCleared(FileSystem& fs, const QString& photos, const QString& source,
                                              CopyCheck check)
{
    const QString abandoned = tempOf(photos, ::getpid());
    const QString held = tempOf(photos, 999999);
    const safecopy::Fd writer = holdAsWriter(held);
    // A camera's file that only looks like one, and a copy published before.
    const QString lookalike = tempOf(photos, 999999, QStringLiteral("abcdef"));
    const QString longer = tempOf(photos, 999999, QStringLiteral("abcdefgh123456789"));
    copyLikeTheRun(fs, source, photos, QStringLiteral("a.jpg"), check);
    EXPECT_FALSE(QFile::exists(abandoned));
    EXPECT_TRUE(QFile::exists(held));
    EXPECT_EQ(readFile(lookalike), "half a photo");
    EXPECT_EQ(readFile(longer), "half a photo");
    EXPECT_EQ(readFile(photos + QStringLiteral("/a.jpg")), "photo");
}

TEST_P(SafeCopyTest, ClearsOnlyTemporaryFilesThatNoWriterHolds)
{
    expectOnlyAbandonedTemporaryFilesCleared(fs, photos(), shoot(QStringLiteral("a.jpg"), "photo"), GetParam());
}

struct PlantedSubfolder {
    bool link;  // a link to a folder elsewhere, else a real folder
    uid_t owner;
    uid_t folderOwner;
    mode_t folderMode;
    bool used;
};

// The dated subfolder is planted in a shared photo folder, as a link or as a
// real folder: used only where the kernel's protected_symlinks rule would
// follow such a link, whatever that setting, and judged on what was opened.
TEST_P(SafeCopyTest, UsesAPlantedSubfolderOnlyWhereTheKernelsLinkRuleWould)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to plant another user's link or folder";
    const PlantedSubfolder cases[] = {
        {true, 65534, 0, 01777, false},   // another user's link, in a sticky folder for all
        {true, 0, 0, 01777, true},        // our own
        {true, 1000, 1000, 01777, true},  // the folder owner's
        {true, 65534, 0, 0777, true},     // not sticky: its links are as good as its files
        {false, 65534, 0, 01777, false},  // another user's real folder, which that user may empty
        {false, 1000, 1000, 01777, true}, {false, 65534, 0, 0777, true},
    };
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    int n = 0;
    for (const PlantedSubfolder& planted : cases) {
        const QString shared = dir.filePath(QStringLiteral("gedeeld%1").arg(++n));
        const QString dated = shared + QStringLiteral("/2026 December");
        const QString elsewhere = planted.link ? dir.filePath(QStringLiteral("elders%1").arg(n)) : dated;
        QDir().mkpath(shared);
        QDir().mkpath(elsewhere);
        const QByteArray planting = QFile::encodeName(dated);
        ASSERT_EQ(::chown(QFile::encodeName(shared).constData(), planted.folderOwner, planted.folderOwner), 0);
        ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), planted.folderMode), 0);
        if (planted.link) {
            ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), planting.constData()), 0);
        }
        ASSERT_EQ(::lchown(planting.constData(), planted.owner, planted.owner), 0);
        if (planted.used) {
            EXPECT_NO_THROW(copyLikeTheRun(fs, source, dated, QStringLiteral("a.jpg"), GetParam())) << n;
            EXPECT_EQ(entries(elsewhere), QStringList{QStringLiteral("a.jpg")}) << n;
        } else {
            EXPECT_THROW(fs.HoldFolder(dated), PlatformError) << n;
            EXPECT_THROW(fs.StageCopy(source, dated, GetParam(), {}), PlatformError) << n;
            EXPECT_TRUE(entries(elsewhere).isEmpty()) << n;
        }
    }
}

// A run opens its folder once: every copy goes into the folder it opened,
// whatever the path comes to name meanwhile. Once the hold is dropped, the
// path counts again.
TEST_P(SafeCopyTest, CopiesGoIntoTheHeldFolderWhateverItsPathComesToName)
{
    const QString dated = inPhotos(QStringLiteral("2026 December"));
    const QString moved = inPhotos(QStringLiteral("verplaatst"));
    const QString elsewhere = dir.filePath(QStringLiteral("elders"));
    QDir().mkpath(dated);
    QDir().mkpath(elsewhere);
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    {
        const std::unique_ptr<FolderHold> hold = fs.HoldFolder(dated);
        ASSERT_TRUE(QDir().rename(dated, moved));
        ASSERT_EQ(::symlink(QFile::encodeName(elsewhere).constData(), QFile::encodeName(dated).constData()), 0);
        copyLikeTheRun(fs, source, dated, QStringLiteral("a.jpg"), GetParam());
        copyLikeTheRun(fs, source, dated, QStringLiteral("b.jpg"), GetParam());
    }
    EXPECT_EQ(entries(moved), (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    EXPECT_TRUE(entries(elsewhere).isEmpty());
    copyLikeTheRun(fs, source, dated, QStringLiteral("c.jpg"), GetParam());
    EXPECT_EQ(entries(elsewhere), QStringList{QStringLiteral("c.jpg")});
}

// The photo disk as it usually comes: exFAT through FUSE, where the kernel's
// own ways of publishing without replacing are missing.
class ExfatCopyTest : public OnExfat<SafeCopyTest> {
protected:
    QString photos() const override { return disk.path() + QStringLiteral("/2026 december"); }
};

INSTANTIATE_TEST_SUITE_P(BothChecks, ExfatCopyTest, ::testing::Values(CopyCheck::Plain, CopyCheck::VerifiedOnDisk),
                         checkName);

TEST_P(ExfatCopyTest, ClearsOnlyTemporaryFilesThatNoWriterHoldsThroughFuse)
{
    expectOnlyAbandonedTemporaryFilesCleared(fs, photos(), shoot(QStringLiteral("a.jpg"), "photo"), GetParam());
}

TEST_P(ExfatCopyTest, PublishesThroughAClaimedName)
{
    const QByteArray bytes = randomBytes(2 << 20);
    const QString source = shoot(QStringLiteral("IMG_0001.JPG"), bytes);
    copyToPhotos(source, QStringLiteral("IMG_0001.JPG"));
    copyToPhotos(source, QStringLiteral("IMG_0001-1.JPG"));
    expectCopied(source, inPhotos(QStringLiteral("IMG_0001.JPG")), bytes);
    expectCopied(source, inPhotos(QStringLiteral("IMG_0001-1.JPG")), bytes);
    EXPECT_EQ(entries(photos()), (QStringList{QStringLiteral("IMG_0001-1.JPG"), QStringLiteral("IMG_0001.JPG")}));
}

// A run killed after another writer took the first name it claimed, once it
// has claimed the next: the next sweep clears that claim and its temporary file.
TEST_P(ExfatCopyTest, ClearsADeadRunsClaimOnTheNameItTriedNext)
{
    const safecopy::Fd folder(::open(QFile::encodeName(photos()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    const pid_t child = ::fork();
    if (child == 0) {
        safecopy::TempFile temp(folder.get());
        temp.nameTarget("IMG_0001.JPG");
        temp.nameTarget("IMG_0001-1.JPG");
        const QByteArray text = safecopy::claimText(temp.name());
        const int claim = ::openat(folder.get(), "IMG_0001-1.JPG", O_CREAT | O_EXCL | O_WRONLY, 0666);
        const bool claimed = claim >= 0 && ::write(claim, text.constData(), size_t(text.size())) == text.size();
        ::_exit(claimed && safecopy::isTempName(temp.name()) ? 0 : 1);  // killed: nothing cleared
    }
    int status = -1;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "the temporary file's name lost its form";
    ASSERT_EQ(entries(photos()).size(), 2) << qPrintable(entries(photos()).join(QLatin1Char(' ')));
    safecopy::sweepStaleTempFiles(folder.get());
    EXPECT_TRUE(entries(photos()).isEmpty()) << qPrintable(entries(photos()).join(QLatin1Char(' ')));
}

// Puts the file's modification time back as it was, as a camera or a
// careless tool may after rewriting it.
void restoreTime(const QString& path, const struct stat& before)
{
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

// The camera file goes only as it was copied, on a camera whose times tell
// every change and on one whose times cannot (exFAT through FUSE: whole
// seconds, and the change time is the modification time, which anyone may
// set). A rewrite that keeps the size and puts the old time back is caught,
// and the file put back under its own name; what is deleted leaves nothing
// on the camera, not even the hidden file FUSE keeps of a file deleted while open.
TEST(CameraFileDeletion, TakesOnlyTheFileAsItWasCopiedAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    ExfatMount card;
    const std::shared_ptr<FileSystem> fs = Platform::System().fileSystem;
    const QString photos = dir.filePath(QStringLiteral("foto's"));
    QDir().mkpath(photos);
    QStringList cameras{dir.filePath(QStringLiteral("camera"))};
    if (card.mounted())
        cameras << card.path() + QStringLiteral("/DCIM");
    for (const QString& camera : cameras) {
        SCOPED_TRACE(qPrintable(camera));
        QDir().mkpath(camera);
        const QString rewritten = camera + QStringLiteral("/IMG_0001.JPG");
        const QString kept = camera + QStringLiteral("/IMG_0002.JPG");
        writeFile(rewritten, "photo one");
        writeFile(kept, "photo two");
        struct stat before {};
        ASSERT_EQ(::stat(QFile::encodeName(rewritten).constData(), &before), 0);
        for (const QString& source : {rewritten, kept}) {
            const QString target = photos + source.mid(source.lastIndexOf(QLatin1Char('/')));
            const std::unique_ptr<StagedCopy> copy =
                copyLikeTheRun(*fs, source, photos, QFileInfo(source).fileName(), CopyCheck::VerifiedOnDisk);
            if (source == rewritten) {
                writeFile(rewritten, "PHOTO ONE");
                restoreTime(rewritten, before);
                EXPECT_THROW(copy->deleteSource(), PlatformError);
                EXPECT_EQ(readFile(rewritten), "PHOTO ONE");
            } else {
                try {
                    copy->deleteSource();
                } catch (const PlatformError& e) {
                    ADD_FAILURE() << e.what();
                }
                EXPECT_EQ(entries(camera), QStringList{QStringLiteral("IMG_0001.JPG")}) << "with the copy still open";
            }
            QFile::remove(target);
        }
        EXPECT_EQ(entries(camera), QStringList{QStringLiteral("IMG_0001.JPG")});
    }
    if (!card.mounted())
        GTEST_SKIP() << "only the camera on the local disk: " << qPrintable(card.problem);
}

// The check before a camera file may go: what the disk gives back must be
// what was read from the camera, to the byte.
TEST(VerifyOnDisk, AcceptsOnlyTheSameBytesAtTheSameSize)
{
    QTemporaryDir dir;
    const QByteArray bytes = randomBytes(3 << 20);
    writeFile(dir.filePath(QStringLiteral("copy")), bytes);
    const safecopy::Fd copy(::open(QFile::encodeName(dir.filePath(QStringLiteral("copy"))).constData(), O_RDWR));
    const safecopy::Fd nowhere(::open("/dev/null", O_WRONLY));
    const safecopy::Hash read = safecopy::copyHashing(copy.get(), nowhere.get(), bytes.size());

    EXPECT_NO_THROW(safecopy::verifyOnDisk(copy.get(), bytes.size(), read));
    EXPECT_THROW(safecopy::verifyOnDisk(copy.get(), bytes.size(), read ^ 1), safecopy::StepFailed);
    EXPECT_THROW(safecopy::verifyOnDisk(copy.get(), bytes.size() + 1, read), safecopy::StepFailed);
    ASSERT_EQ(::pwrite(copy.get(), "!", 1, 2 << 20), 1);
    EXPECT_THROW(safecopy::verifyOnDisk(copy.get(), bytes.size(), read), safecopy::StepFailed);
}

}  // namespace
}  // namespace zandrel::test
