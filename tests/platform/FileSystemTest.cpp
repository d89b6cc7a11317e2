#include "platform/FileSystemFixture.h"

namespace zandrel::test {
namespace {

TEST_F(FileSystemTest, ExistsTellsFilesFromFoldersAndNeverFails)
{
    const QString photo = file(QStringLiteral("foto.jpg"));
    const QString camera = folder(QStringLiteral("camera"));
    EXPECT_TRUE(fs.FileExists(photo));
    EXPECT_FALSE(fs.FolderExists(photo));
    EXPECT_TRUE(fs.FolderExists(camera));
    EXPECT_FALSE(fs.FileExists(camera));
    EXPECT_TRUE(fs.FolderExists(camera + QStringLiteral("/")));
    EXPECT_TRUE(fs.FolderExists(camera + QStringLiteral("//")));
    EXPECT_TRUE(fs.FileExists(file(kAwkwardName)));
    EXPECT_TRUE(fs.FolderExists(folder(allowedName(QStringLiteral("map met 'spaties' \"en\" é")))));
}

TEST_F(FileSystemTest, ExistsAnswersFalseForWhatIsNoPath)
{
    const QString photo = file(QStringLiteral("foto.jpg"));
    const QString camera = folder(QStringLiteral("camera"));
    for (const QString& text :
         {QString(), QStringLiteral("Unknown"), path(QStringLiteral("weg")), photo + QStringLiteral("/binnen"),
          QStringLiteral("::*?<>|"), path(QString(300, QLatin1Char('a'))), QStringLiteral("\n")}) {
        EXPECT_FALSE(fs.FileExists(text)) << qPrintable(text);
        EXPECT_FALSE(fs.FolderExists(text)) << qPrintable(text);
    }
    // The kernel would stop reading at the NUL and find the file or folder before it.
    EXPECT_FALSE(fs.FileExists(photo + QChar(0) + QStringLiteral("rest")));
    EXPECT_FALSE(fs.FolderExists(camera + QChar(0)));
}

TEST_F(FileSystemTest, FolderLooksAfreshAtEveryCall)
{
    const auto camera = fs.GetFolder(folder(QStringLiteral("camera")));
    EXPECT_EQ(camera->Count(), 0);
    file(QStringLiteral("camera/a.jpg"), "12345");
    EXPECT_EQ(camera->Count(), 1);
    EXPECT_EQ(camera->Size(), 5);
    QDir(path(QStringLiteral("camera"))).removeRecursively();
    EXPECT_THROW(camera->Count(), PlatformError);
}

TEST_F(FileSystemTest, SizeGoesBeyondFourGigabytes)
{
    const QString camera = folder(QStringLiteral("camera"));
    const qint64 big = (qint64(5) << 30) + 7;  // sparse: takes no room on the disk
    QFile film(path(QStringLiteral("camera/film.mp4")));
    ASSERT_TRUE(film.open(QIODevice::WriteOnly) && film.resize(big));
    film.close();
    file(QStringLiteral("camera/sub/a.jpg"), "abc");
    EXPECT_EQ(fs.GetFolder(camera)->Size(), big + 3);
}

TEST_F(FileSystemTest, GetFolderOfAMissingFolderFails)
{
    EXPECT_THROW(fs.GetFolder(path(QStringLiteral("weg"))), PlatformError);
    EXPECT_THROW(fs.GetFolder(file(QStringLiteral("foto.jpg"))), PlatformError);
    EXPECT_THROW(fs.GetFolder(QString()), PlatformError);
}

TEST_F(FileSystemTest, DriveOfAMissingPathIsAnError)
{
    EXPECT_THROW(fs.GetDriveName(path(QStringLiteral("weg/nog verder"))), PlatformError);
    EXPECT_THROW(fs.GetDrive(path(QStringLiteral("weg"))), PlatformError);
}

TEST_F(FileSystemTest, CreateFolderMakesOneLevelAndReportsWhatItCannot)
{
    const QString made = path(QStringLiteral("2026 december 'één'"));
    fs.CreateFolder(made);
    EXPECT_TRUE(fs.FolderExists(made));
    try {
        fs.CreateFolder(path(QStringLiteral("weg/2026")));
        FAIL() << "a folder without its parent was created";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.text().contains(path(QStringLiteral("weg/2026")))) << error.what();
    }
    EXPECT_FALSE(fs.FolderExists(path(QStringLiteral("weg"))));
    EXPECT_THROW(fs.CreateFolder(made), PlatformError);
    EXPECT_THROW(fs.CreateFolder(path(QStringLiteral("kort")) + QChar(0) + QStringLiteral("lang")), PlatformError);
    EXPECT_FALSE(fs.FolderExists(path(QStringLiteral("kort"))));
}

}  // namespace
}  // namespace zandrel::test
