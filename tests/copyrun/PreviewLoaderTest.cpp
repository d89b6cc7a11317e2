#include "copyrun/CopyRunSupport.h"
#include "platform/linux/ExivPictureLoader.h"

#include <gtest/gtest.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include "platform/linux/Exiv2Compat.h"

namespace zandrel::test {
namespace {

const QSize kBox(225, 169);

// A JPEG carrying an EXIF thumbnail, as cameras write them.
QByteArray withThumbnail(const QByteArray& jpeg, const QByteArray& thumbnail)
{
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                            long(thumbnail.size()));
    image->setExifData(exif);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    return exiv2::bytes(io.read(io.size()));
}

QColor centre(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

bool near(QColor a, QColor b) { return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40; }

struct LoaderFixture {
    QImage load(const QByteArray& bytes) { return ExivPictureLoader().LoadPicture(t.makeFile("photo.jpg", bytes), kBox); }
    TestWindow t;
};

TEST(PreviewLoader, ShowsTheEmbeddedThumbnailRatherThanTheImage)
{
    LoaderFixture f;
    const QImage shown = f.load(withThumbnail(smallJpeg(Qt::green, {640, 480}), smallJpeg(Qt::red, {160, 120})));
    EXPECT_EQ(shown.size(), QSize(160, 120));
    EXPECT_TRUE(near(centre(shown), Qt::red));
}

TEST(PreviewLoader, DecodesAJpegWithoutThumbnailAtTheBoxSize)
{
    LoaderFixture f;
    for (const QByteArray& jpeg : {smallJpeg(Qt::green, {640, 480}),
                                   withThumbnail(smallJpeg(Qt::green, {640, 480}), "broken thumbnail")}) {
        const QImage shown = f.load(jpeg);
        EXPECT_EQ(shown.size(), kBox);
        EXPECT_TRUE(near(centre(shown), Qt::green));
    }
}

TEST(PreviewLoader, NothingDecodableGivesTheEmptyPicture)
{
    LoaderFixture f;
    EXPECT_TRUE(f.load("not a picture").isNull());
    EXPECT_TRUE(f.load(smallJpeg(Qt::green).left(20)).isNull());
    QImage png(32, 32, QImage::Format_RGB32);
    png.fill(Qt::green);
    const QString path = f.t.path("png.jpg");
    png.save(path, "PNG");
    EXPECT_TRUE(ExivPictureLoader().LoadPicture(path, kBox).isNull());
    EXPECT_TRUE(ExivPictureLoader().LoadPicture(f.t.path("missing.jpg"), kBox).isNull());
}

}  // namespace
}  // namespace zandrel::test

#pragma GCC diagnostic pop
