#include "platform/FileSystemFixture.h"

namespace zandrel::test {
namespace {

INSTANTIATE_TEST_SUITE_P(BothChecks, SafeCopyTest, ::testing::Values(CopyCheck::Plain, CopyCheck::VerifiedOnDisk),
                         checkName);

TEST_P(SafeCopyTest, CopiesBytesAndTimeAndLeavesNothingElse)
{
    const QByteArray bytes = randomBytes(3 << 20);
    const QString source = shoot(QStringLiteral("IMG_0001.JPG"), bytes);
    const QString empty = shoot(QStringLiteral("leeg.thm"), QByteArray());
    copyToPhotos(source, QStringLiteral("IMG_0001.JPG"));
    copyToPhotos(empty, QStringLiteral("leeg.thm"));
    expectCopied(source, inPhotos(QStringLiteral("IMG_0001.JPG")), bytes);
    expectCopied(empty, inPhotos(QStringLiteral("leeg.thm")), QByteArray());
    EXPECT_EQ(entries(photos()), (QStringList{QStringLiteral("IMG_0001.JPG"), QStringLiteral("leeg.thm")}));
}

TEST_P(SafeCopyTest, TakesAwkwardNamesAndDoubledSeparators)
{
    const QString name = allowedName(QStringLiteral("zomer 'één' \"twee\" ; $(touch x).jpg"));
    const QString source = shoot(name, "photo");
    copyLikeTheRun(fs, source, photos() + QLatin1Char('/'), name, GetParam());
    expectCopied(source, inPhotos(name), "photo");
    EXPECT_EQ(entries(photos()), QStringList{name});
}

TEST_P(SafeCopyTest, NeverReplacesAnExistingFile)
{
    const QString source = shoot(QStringLiteral("IMG_0001.JPG"), "new photo");
    writeFile(inPhotos(QStringLiteral("IMG_0001.JPG")), "older photo");
    EXPECT_THROW(copyToPhotos(source, QStringLiteral("IMG_0001.JPG")), TargetTaken);
    EXPECT_EQ(readFile(inPhotos(QStringLiteral("IMG_0001.JPG"))), "older photo");
    EXPECT_EQ(readFile(source), "new photo");
    EXPECT_EQ(entries(photos()), QStringList{QStringLiteral("IMG_0001.JPG")});
}

TEST_P(SafeCopyTest, ReportsWhatCannotBeCopiedAndWhere)
{
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    try {
        copyToPhotos(inCamera(QStringLiteral("weg.jpg")), QStringLiteral("a.jpg"));
        FAIL() << "a missing source was copied";
    } catch (const PlatformError& error) {
        // What and where, then the system's own reason, in its own words.
        const QString what =
            QStringLiteral("Kan '%1' niet kopiëren naar '%2': ").arg(inCamera(QStringLiteral("weg.jpg")), photos());
        EXPECT_TRUE(error.text().startsWith(what) && error.text().size() > what.size()) << error.what();
    }
    EXPECT_THROW(copyLikeTheRun(fs, source, inPhotos(QStringLiteral("weg")), QStringLiteral("a.jpg"), GetParam()),
                 PlatformError);
    EXPECT_THROW(copyToPhotos(camera(), QStringLiteral("a.jpg")), PlatformError);
    EXPECT_THROW(copyToPhotos(source + QChar(0) + QStringLiteral("x"), QStringLiteral("a.jpg")), PlatformError);
    EXPECT_THROW(copyToPhotos(source, QString()), PlatformError);
    EXPECT_THROW(copyToPhotos(source, QStringLiteral("a.jpg") + QChar(0) + QStringLiteral("x")), PlatformError);
    EXPECT_TRUE(entries(photos()).isEmpty());
    EXPECT_EQ(readFile(source), "photo");
}

// A camera file named like a temporary file is published under another name,
// so that no later clearing can take it for one.
TEST_P(SafeCopyTest, NeverPublishesUnderATemporaryFilesName)
{
    const QString name = QStringLiteral(".zandrel-tmp-999999-abcdefgh12345678");
    const QString source = shoot(name, "photo");
    EXPECT_THROW(copyToPhotos(source, name), TargetTaken);
    EXPECT_TRUE(entries(photos()).isEmpty());
}

// The camera file goes only once its copy is verified on disk, under its name,
// and that name flushed, whatever a caller asks.
TEST_P(SafeCopyTest, DeletesTheCameraFileOnlyAfterItsCopyIsSafe)
{
    const QString source = shoot(QStringLiteral("a.jpg"), "photo");
    const std::unique_ptr<StagedCopy> copy = fs.StageCopy(source, photos(), GetParam(), {});
    EXPECT_THROW(copy->deleteSource(), PlatformError) << "before its check";
    copy->verify({});
    EXPECT_THROW(copy->deleteSource(), PlatformError) << "under no name yet";
    copy->publish(inPhotos(QStringLiteral("a.jpg")));
    EXPECT_THROW(copy->deleteSource(), PlatformError) << "its name not yet flushed";
    copy->flushName();
    if (GetParam() == CopyCheck::Plain) {
        EXPECT_THROW(copy->deleteSource(), PlatformError) << "never read back";
        EXPECT_EQ(readFile(source), "photo");
    } else {
        EXPECT_NO_THROW(copy->deleteSource());
        EXPECT_FALSE(QFile::exists(source));
        // Like a deletion without force: a write-protected camera file stays.
        const QString locked = shoot(QStringLiteral("beschermd.jpg"), "keep");
        ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        EXPECT_THROW(copyToPhotos(locked, QStringLiteral("beschermd.jpg"))->deleteSource(), PlatformError);
        EXPECT_EQ(readFile(locked), "keep");
    }
    EXPECT_EQ(readFile(inPhotos(QStringLiteral("a.jpg"))), "photo");
}

}  // namespace
}  // namespace zandrel::test
