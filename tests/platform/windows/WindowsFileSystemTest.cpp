// Under Wine the files underneath are Linux's: these tests check what Wine
// emulates of Windows' file semantics (share modes, case-insensitive names,
// reparse points, \\?\ paths), not NTFS itself, and unbuffered reads there
// still come from Linux's page cache.

#include "platform/FileSystemFixture.h"

#include "platform/windows/Win32.h"
#include "platform/windows/WindowsSafeCopy.h"

#include <QDir>
#include <gtest/gtest.h>

#include <winioctl.h>

namespace zandrel::test {
namespace {

std::wstring wideOf(const QString& path) { return win32::longPath(QDir::toNativeSeparators(path)); }

// Held the way a running copy holds its temporary file: its deletion not shared.
win32::Handle holdLikeALiveRun(const QString& path)
{
    return win32::Handle(::CreateFileW(wideOf(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
}

// Names are compared without regard to case on Windows, so a name that differs
// only in case is taken; a temporary file's name form in any case is never a photo's.
TEST_P(SafeCopyTest, ANameTakenInAnotherCaseIsTakenAndTemporaryNamesAreReservedInAnyCase)
{
    const QString source = shoot(QStringLiteral("IMG_0001.JPG"), "new photo");
    writeFile(inPhotos(QStringLiteral("IMG_0001.JPG")), "older photo");
    EXPECT_THROW(copyToPhotos(source, QStringLiteral("img_0001.jpg")), TargetTaken);
    EXPECT_THROW(copyToPhotos(source, QStringLiteral(".ZANDREL-TMP-1-abcdefghABCDEFGH")), TargetTaken);
    EXPECT_EQ(readFile(inPhotos(QStringLiteral("IMG_0001.JPG"))), "older photo");
    EXPECT_EQ(entries(photos()), QStringList{QStringLiteral("IMG_0001.JPG")}) << "a temporary file was left";
}

// A killed run's temporary file is shared for deletion by nobody, a live run's
// is held without sharing it: the sweep before the next run tells them apart.
TEST_P(SafeCopyTest, ClearsADeadRunsTemporaryFileButNotALiveOnesNorALookalike)
{
    const QString dead = inPhotos(QStringLiteral(".zandrel-tmp-4242-abcdefgh12345678"));
    const QString live = inPhotos(QStringLiteral(".zandrel-tmp-4343-abcdefgh12345678"));
    const QString lookalike = inPhotos(QStringLiteral(".zandrel-tmp-4242-abcdefgh"));
    for (const QString& path : {dead, live, lookalike})
        writeFile(path, "half a photo");
    const win32::Handle running = holdLikeALiveRun(live);
    ASSERT_TRUE(running.valid());
    copyToPhotos(shoot(QStringLiteral("a.jpg"), "photo"), QStringLiteral("a.jpg"));
    EXPECT_FALSE(QFile::exists(dead));
    EXPECT_TRUE(QFile::exists(live));
    EXPECT_EQ(readFile(lookalike), "half a photo");
    EXPECT_EQ(readFile(inPhotos(QStringLiteral("a.jpg"))), "photo");
}

INSTANTIATE_TEST_SUITE_P(BothChecks, SafeCopyTest, ::testing::Values(CopyCheck::Plain, CopyCheck::VerifiedOnDisk),
                         checkName);

// The same camera and photo folders, for cases that take one check only.
class WindowsCopyTest : public SafeCopyTest {};

// While its copy is staged the camera file is held: it can be neither written
// nor renamed away, so the file deleted through that handle is the file that
// was read and verified. A change of its time still stops the deletion.
TEST_F(WindowsCopyTest, DeletesOnlyTheFileThatWasVerifiedAndOnlyUnchanged)
{
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    auto copy = fs.StageCopy(source, photos(), CopyCheck::VerifiedOnDisk, {});
    EXPECT_FALSE(::MoveFileW(wideOf(source).c_str(), wideOf(inCamera(QStringLiteral("b.jpg"))).c_str()))
        << "the camera file was renamed under a staged copy";
    EXPECT_FALSE(QFile(source).open(QIODevice::WriteOnly | QIODevice::Append)) << "the camera file could be written";
    copy->verify({});
    copy->publish(inPhotos(QStringLiteral("a.jpg")));
    copy->flushName();
    EXPECT_EQ(readFile(inPhotos(QStringLiteral("a.jpg"))), "photo") << "the published copy cannot be read";
    copy->deleteSource();
    EXPECT_FALSE(QFile::exists(source));

    // Its time set by another program (which needs no share of the data) after the copy was read.
    const QString touched = shoot(QStringLiteral("c.jpg"), "photo");
    copy = copyLikeTheRun(fs, touched, photos(), QStringLiteral("c.jpg"), CopyCheck::VerifiedOnDisk);
    {
        const win32::Handle times(::CreateFileW(wideOf(touched).c_str(), FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(times.valid());
        FILETIME later{};
        ::GetSystemTimeAsFileTime(&later);
        ASSERT_TRUE(::SetFileTime(times.get(), nullptr, nullptr, &later));
    }
    EXPECT_THROW(copy->deleteSource(), PlatformError);
    copy.reset();
    EXPECT_EQ(readFile(touched), "photo");
}

// A link put where a camera file was is opened as itself and refused, never
// followed to the file it points at; the folder does not count it as a file.
TEST_F(WindowsCopyTest, ACameraFileThatIsALinkIsNeitherCountedNorFollowed)
{
    const QString elsewhere = dir.filePath(QStringLiteral("elders.jpg"));
    writeFile(elsewhere, "not the camera's");
    const QString link = inCamera(QStringLiteral("IMG_0002.JPG"));
    if (!::CreateSymbolicLinkW(wideOf(link).c_str(), wideOf(elsewhere).c_str(),
                               0x2 /* SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE */))
        GTEST_SKIP() << "no symbolic links here: " << qPrintable(win32::errorText(::GetLastError()));
    ASSERT_TRUE(::GetFileAttributesW(wideOf(link).c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(fs.GetFolder(camera())->Count(), 0);
    EXPECT_EQ(fs.GetFolder(camera())->Size(), 0);
    for (const CopyCheck check : {CopyCheck::Plain, CopyCheck::VerifiedOnDisk})
        EXPECT_THROW(fs.StageCopy(link, photos(), check, {}), PlatformError);
    EXPECT_TRUE(entries(photos()).isEmpty());
    EXPECT_EQ(readFile(elsewhere), "not the camera's");
}

// Windows' own path rules: a path far beyond 260 characters, names outside
// every code page, and the drive of a path, as a letter.
TEST_F(FileSystemTest, LongPathsAndNamesOutsideTheCodePageRoundTrip)
{
    QString camera = QDir::toNativeSeparators(folder(QStringLiteral("写真")));
    QString photos = QDir::toNativeSeparators(folder(QStringLiteral("foto's")));
    for (int level = 0; level < 6; ++level) {
        photos += QStringLiteral("\\%1 写真 ").arg(level) + QString(50, QLatin1Char('x'));
        fs.CreateFolder(photos);
    }
    ASSERT_GT(photos.size(), 300);
    const QString name = QStringLiteral("写真 ü 😀.jpg");
    const QString source = camera + QLatin1Char('\\') + name;
    writeFile(source, "photo");

    EXPECT_TRUE(fs.FolderExists(photos));
    EXPECT_TRUE(fs.FileExists(source));
    EXPECT_EQ(fs.GetFolder(camera)->Files(), QStringList{name});
    moveLikeTheRun(fs, source, photos, name);
    EXPECT_FALSE(fs.FileExists(source));
    EXPECT_EQ(fs.GetFolder(photos)->Files(), QStringList{name});
    EXPECT_EQ(fs.GetFolder(photos)->Size(), 5);
    EXPECT_EQ(fs.GetFolder(path(QStringLiteral("foto's")))->Size(), 5) << "a deep subfolder was not walked";

    const QString drive = fs.GetDriveName(photos);
    ASSERT_EQ(drive.size(), 2);
    EXPECT_EQ(drive.at(1), QLatin1Char(':'));
    EXPECT_EQ(fs.GetDrive(drive).driveletter, drive.left(1));
    EXPECT_GT(fs.GetDrive(drive).freespace, 0);
}

// A share has no letter: the drive is the share, and its letter is empty.
TEST_F(FileSystemTest, TheDriveOfAPathOnAShareHasNoLetter)
{
    const QString local = QDir::toNativeSeparators(folder(QStringLiteral("gedeeld")));
    // The administrative share of the drive; Wine has none unless one is set up.
    const QString share = QStringLiteral("\\\\localhost\\") + local.left(1) + QStringLiteral("$") + local.mid(2);
    if (!fs.FolderExists(share))
        GTEST_SKIP() << "no administrative share here";
    const QString drive = fs.GetDriveName(share);
    EXPECT_EQ(drive, QStringLiteral("\\\\localhost\\") + local.left(1) + QStringLiteral("$"));
    EXPECT_EQ(fs.GetDrive(drive).driveletter, QString());
}

}  // namespace
}  // namespace zandrel::test
