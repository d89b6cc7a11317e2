// The file system where Linux has cases of its own: names that are bytes,
// links, fifos, and a tmpfs whose free space the kernel reports.
#include "platform/FileSystemFixture.h"
#include "support/linux/LinuxSystem.h"

#include "app/ReadableName.h"
#include "platform/linux/NativePath.h"

#include <algorithm>
#include <fcntl.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace zandrel::test {
namespace {

class FileSystemLinuxTest : public FileSystemTest {
protected:
    void link(const QString& target, const QString& relative) const
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path(relative)).constData()), 0);
    }
};

// Linux names are bytes. Those that are no UTF-8 text must still be listed,
// found, copied and deleted under exactly their own bytes.
TEST_F(FileSystemLinuxTest, NamesThatAreNoTextRoundTripByteForByte)
{
    const QByteArray names[] = {
        "IMG_\xe9t\xe9.JPG",                          // Latin-1
        "\xff\xfe.jpg",                               // never UTF-8
        "a\xc0\xaf.jpg",                              // an overlong '/'
        "b\xed\xa0\x80.jpg",                          // an encoded surrogate
        "c\xe2\x82",                                  // cut short
        "d\xf4\x90\x80\x80",                          // above U+10FFFF
        "\xf0\x9f\x98\x80 \xc3\xa9\xed\x9f\xbf.jpg",  // well-formed, up to the last code point before the surrogates
    };
    const QString camera = folder(QStringLiteral("camera"));
    const QString photos = folder(QStringLiteral("photos"));
    // QTemporaryDir cannot remove names that are no text: they go by their bytes.
    const auto removeNames = qScopeGuard([&] {
        for (const QString& where : {camera, photos})
            for (const QByteArray& name : names)
                ::unlink((QFile::encodeName(where) + '/' + name).constData());
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
        EXPECT_TRUE(std::find(std::begin(names), std::end(names), bytes) != std::end(names))
            << bytes.toHex().constData();
        EXPECT_TRUE(fs.FileExists(joinPath(camera, name))) << bytes.toHex().constData();
        moveLikeTheRun(fs, joinPath(camera, name), photos, name);
        struct stat info {};
        EXPECT_EQ(::stat((QFile::encodeName(photos) + '/' + bytes).constData(), &info), 0) << bytes.toHex().constData();
        EXPECT_EQ(info.st_size, bytes.size());
    }
    EXPECT_EQ(fs.GetFolder(camera)->Count(), 0);
    EXPECT_EQ(fs.GetFolder(photos)->Count(), qint64(std::size(names)));
    EXPECT_EQ(readableName(nativeName(QByteArray("IMG_\xe9t\xe9.JPG"))), QStringLiteral("IMG_\uFFFDt\uFFFD.JPG"));
    EXPECT_EQ(readableName(nativeName(QByteArray(names[6]))), QString::fromUtf8(names[6]));
}

TEST_F(FileSystemLinuxTest, CountTakesRegularFilesDirectlyInTheFolderHiddenOnesToo)
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
    EXPECT_EQ(listed->Files(),
              (QStringList{QStringLiteral(".hidden"), QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), kAwkwardName}));
}

TEST_F(FileSystemLinuxTest, SizeAddsSubfoldersAndFollowsNoLinks)
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

TEST_F(FileSystemLinuxTest, DriveIsTheMountedFileSystemWithItsFreeSpace)
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

}  // namespace
}  // namespace zandrel::test
