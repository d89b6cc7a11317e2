#include "support/RealSystem.h"

#include "platform/Platform.h"
#include "platform/NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zandrel::test {
namespace {

// A name with everything a shell or a careless quoting would trip over.
const QString kAwkwardName = QStringLiteral("zomer 'één' \"twee\" ; $(x) ü.jpg");

class FileSystemTest : public ::testing::Test {
protected:
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString folder(const QString& relative) const
    {
        QDir().mkpath(path(relative));
        return path(relative);
    }
    QString file(const QString& relative, const QByteArray& bytes = "x") const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        writeFile(path(relative), bytes);
        return path(relative);
    }
    void link(const QString& target, const QString& relative) const
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()), 0);
    }

    QTemporaryDir dir;
    const std::shared_ptr<FileSystem> system = Platform::System().fileSystem;
    FileSystem& fs = *system;
};

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
    EXPECT_TRUE(fs.FolderExists(folder(QStringLiteral("map met 'spaties' \"en\" é"))));
}

TEST_F(FileSystemTest, ExistsAnswersFalseForWhatIsNoPath)
{
    const QString photo = file(QStringLiteral("foto.jpg"));
    const QString camera = folder(QStringLiteral("camera"));
    for (const QString& text : {QString(), QStringLiteral("Unknown"), path(QStringLiteral("weg")),
                                photo + QStringLiteral("/binnen"), QStringLiteral("::*?<>|"),
                                path(QString(300, QLatin1Char('a'))), QStringLiteral("\n")}) {
        EXPECT_FALSE(fs.FileExists(text)) << qPrintable(text);
        EXPECT_FALSE(fs.FolderExists(text)) << qPrintable(text);
    }
    // The kernel would stop reading at the NUL and find the file or folder before it.
    EXPECT_FALSE(fs.FileExists(photo + QChar(0) + QStringLiteral("rest")));
    EXPECT_FALSE(fs.FolderExists(camera + QChar(0)));
}

// Linux names are bytes. Those that are no UTF-8 text must still be listed,
// found, copied and deleted under exactly their own bytes.
TEST_F(FileSystemTest, NamesThatAreNoTextRoundTripByteForByte)
{
    const QByteArray names[] = {
        "IMG_\xe9t\xe9.JPG",    // Latin-1
        "\xff\xfe.jpg",          // never UTF-8
        "a\xc0\xaf.jpg",         // an overlong '/'
        "b\xed\xa0\x80.jpg",     // an encoded surrogate
        "c\xe2\x82",             // cut short
        "d\xf4\x90\x80\x80",     // above U+10FFFF
        "\xf0\x9f\x98\x80 \xc3\xa9\xed\x9f\xbf.jpg",  // well-formed, up to the last code point before the surrogates
    };
    const QString camera = folder(QStringLiteral("camera"));
    const QString photos = folder(QStringLiteral("photos"));
    // QTemporaryDir cannot remove names that are no text: they go by their bytes.
    const auto removeNames = qScopeGuard([&] {
        for (const QString& dir : {camera, photos})
            for (const QByteArray& name : names)
                ::unlink((QFile::encodeName(dir) + '/' + name).constData());
    });
    for (const QByteArray& name : names) {
        const QByteArray raw = QFile::encodeName(camera) + '/' + name;
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << name.toHex().constData();
        const bool written = ::write(fd, name.constData(), size_t(name.size())) == name.size();
        ::close(fd);
        ASSERT_TRUE(written);
    }
    const QStringList listed = fs.GetFolder(camera)->Files();
    ASSERT_EQ(listed.size(), qsizetype(std::size(names)));
    for (const QString& name : listed) {
        const QByteArray bytes = nativePath(name);
        EXPECT_TRUE(std::find(std::begin(names), std::end(names), bytes) != std::end(names)) << bytes.toHex().constData();
        EXPECT_TRUE(fs.FileExists(joinPath(camera, name))) << bytes.toHex().constData();
        fs.CopyFile(joinPath(camera, name), joinPath(photos, name), CopyCheck::VerifiedOnDisk);
        fs.DeleteFile(joinPath(camera, name));
        struct stat info {};
        EXPECT_EQ(::stat((QFile::encodeName(photos) + '/' + bytes).constData(), &info), 0) << bytes.toHex().constData();
        EXPECT_EQ(info.st_size, bytes.size());
    }
    EXPECT_EQ(fs.GetFolder(camera)->Count(), 0);
    EXPECT_EQ(fs.GetFolder(photos)->Count(), qint64(std::size(names)));
    EXPECT_EQ(readableName(nativeName(QByteArray("IMG_\xe9t\xe9.JPG"))), QStringLiteral("IMG_\uFFFDt\uFFFD.JPG"));
    EXPECT_EQ(readableName(nativeName(QByteArray(names[6]))), QString::fromUtf8(names[6]));
}

TEST_F(FileSystemTest, CountTakesRegularFilesDirectlyInTheFolderHiddenOnesToo)
{
    const QString camera = folder(QStringLiteral("camera"));
    file(QStringLiteral("camera/b.jpg"));
    file(QStringLiteral("camera/a.jpg"));
    file(QStringLiteral("camera/.hidden"));
    file(QStringLiteral("camera/") + kAwkwardName);
    file(QStringLiteral("camera/DCIM/deeper.jpg"));
    link(path(QStringLiteral("camera/a.jpg")), QStringLiteral("camera/link-to-file"));
    link(path(QStringLiteral("gone")), QStringLiteral("camera/dangling"));
    link(path(QStringLiteral("camera/DCIM")), QStringLiteral("camera/link-to-folder"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("camera/fifo"))).constData(), 0644), 0);

    const auto listed = fs.GetFolder(camera);
    EXPECT_EQ(listed->Count(), 4);
    EXPECT_EQ(listed->Files(), (QStringList{QStringLiteral(".hidden"), QStringLiteral("a.jpg"),
                                            QStringLiteral("b.jpg"), kAwkwardName}));
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

TEST_F(FileSystemTest, SizeAddsSubfoldersAndFollowsNoLinks)
{
    const QString camera = folder(QStringLiteral("camera"));
    file(QStringLiteral("camera/a.jpg"), QByteArray(1000, 'a'));
    file(QStringLiteral("camera/.hidden"), QByteArray(20, 'h'));
    file(QStringLiteral("camera/DCIM/100/b.jpg"), QByteArray(300, 'b'));
    file(QStringLiteral("elsewhere/big"), QByteArray(5000, 'e'));
    link(path(QStringLiteral("elsewhere/big")), QStringLiteral("camera/link-to-file"));
    link(path(QStringLiteral("elsewhere")), QStringLiteral("camera/link-to-folder"));
    EXPECT_EQ(fs.GetFolder(camera)->Size(), 1320);
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

TEST_F(FileSystemTest, DriveIsTheMountedFileSystemWithItsFreeSpace)
{
    TmpfsMount disk(8 << 20);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.problem);
    QDir().mkpath(disk.path() + QStringLiteral("/Foto's 2026"));

    const QString name = fs.GetDriveName(disk.path() + QStringLiteral("/Foto's 2026"));
    EXPECT_EQ(name, disk.path());
    const Drive before = fs.GetDrive(name);
    EXPECT_EQ(before.driveletter, disk.path());  // a tmpfs has no label
    struct statvfs info {};
    ASSERT_EQ(::statvfs(QFile::encodeName(disk.path()).constData(), &info), 0);
    EXPECT_EQ(before.freespace, qint64(info.f_bavail) * qint64(info.f_frsize));
    EXPECT_EQ(before.freespace, 8 << 20);

    writeFile(disk.path() + QStringLiteral("/Foto's 2026/a.jpg"), QByteArray(1 << 20, 'a'));
    EXPECT_EQ(fs.GetDrive(name).freespace, before.freespace - (1 << 20));
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

TEST_F(FileSystemTest, DeleteFileRemovesAWritableFileOnly)
{
    const QString photo = file(kAwkwardName);
    fs.DeleteFile(photo);
    EXPECT_FALSE(QFile::exists(photo));

    const QString locked = file(QStringLiteral("beschermd.jpg"), "keep");
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    EXPECT_THROW(fs.DeleteFile(locked), PlatformError);
    EXPECT_EQ(readFile(locked), "keep");

    EXPECT_THROW(fs.DeleteFile(path(QStringLiteral("weg.jpg"))), PlatformError);
    EXPECT_THROW(fs.DeleteFile(folder(QStringLiteral("map"))), PlatformError);
    EXPECT_TRUE(fs.FolderExists(path(QStringLiteral("map"))));
}

TEST_F(FileSystemTest, DeleteFileNeverActsOnAPathCutShort)
{
    const QString photo = file(QStringLiteral("a.jpg"), "keep");
    EXPECT_THROW(fs.DeleteFile(photo + QChar(0) + QStringLiteral(".bak")), PlatformError);
    EXPECT_EQ(readFile(photo), "keep");
}

}  // namespace
}  // namespace zandrel::test
