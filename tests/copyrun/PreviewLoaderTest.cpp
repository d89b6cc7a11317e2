#include "copyrun/CopyRunSupport.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include <functional>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include "platform/portable/Exiv2Compat.h"

namespace zandrel::test {
namespace {

const QSize kBox(225, 169);

// The JPEG with its EXIF block changed as a camera would have written it.
QByteArray withExif(const QByteArray& jpeg, const std::function<void(Exiv2::ExifData&)>& change)
{
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
    image->readMetadata();
    Exiv2::ExifData exif = image->exifData();
    change(exif);
    image->setExifData(exif);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    return exiv2::bytes(io.read(io.size()));
}

// A JPEG carrying an EXIF thumbnail, as cameras write them.
QByteArray withThumbnail(const QByteArray& jpeg, const QByteArray& thumbnail)
{
    return withExif(jpeg, [&](Exiv2::ExifData& exif) {
        Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                                long(thumbnail.size()));
    });
}

// A JPEG whose camera was held on its side: orientation 6 turns it a quarter clockwise.
QByteArray turned(const QByteArray& jpeg, int orientation)
{
    return withExif(jpeg, [&](Exiv2::ExifData& exif) { exif["Exif.Image.Orientation"] = uint16_t(orientation); });
}

// Left half red, right half blue: upright after a quarter turn, red lies on top.
QByteArray halves(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixelColor(x, y, Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes;
}

QColor centre(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue()) < 40;
}

struct LoaderFixture {
    QImage load(const QByteArray& bytes, const QString& name = QStringLiteral("photo.jpg"))
    {
        return Platform::System().pictures->LoadPicture(t.makeFile(name, bytes), kBox);
    }
    TestWindow t;
};

// Also in a folder whose name no narrow code page holds, as Windows gives
// narrow paths to a library that opens files by them.
TEST(PreviewLoader, ShowsTheEmbeddedThumbnailRatherThanTheImage)
{
    LoaderFixture f;
    for (const QString& name : {QStringLiteral("photo.jpg"), QStringLiteral("写真/IMG ü 😀.jpg")}) {
        const QImage shown =
            f.load(withThumbnail(smallJpeg(Qt::green, {640, 480}), smallJpeg(Qt::red, {160, 120})), name);
        EXPECT_EQ(shown.size(), QSize(160, 120)) << qPrintable(name);
        EXPECT_TRUE(near(centre(shown), Qt::red)) << qPrintable(name);
    }
}

TEST(PreviewLoader, DecodesAJpegWithoutThumbnailAtTheBoxSize)
{
    LoaderFixture f;
    for (const QByteArray& jpeg :
         {smallJpeg(Qt::green, {640, 480}), withThumbnail(smallJpeg(Qt::green, {640, 480}), "broken thumbnail")}) {
        const QImage shown = f.load(jpeg);
        EXPECT_EQ(shown.size(), kBox);
        EXPECT_TRUE(near(centre(shown), Qt::green));
    }
}

TEST(PreviewLoader, APhotoTakenSidewaysIsShownUpright)
{
    LoaderFixture f;
    const QImage thumbnail = f.load(turned(withThumbnail(smallJpeg(Qt::green, {640, 480}), halves({160, 120})), 6));
    ASSERT_EQ(thumbnail.size(), QSize(120, 160));
    EXPECT_TRUE(near(thumbnail.pixelColor(60, 20), Qt::red));
    EXPECT_TRUE(near(thumbnail.pixelColor(60, 140), Qt::blue));
    const QImage decoded = f.load(turned(halves({640, 480}), 6));
    ASSERT_EQ(decoded.size(), kBox) << "turned, it fills the box as any other photo";
    EXPECT_TRUE(near(decoded.pixelColor(112, 20), Qt::red));
    EXPECT_TRUE(near(decoded.pixelColor(112, 150), Qt::blue));
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
    EXPECT_TRUE(Platform::System().pictures->LoadPicture(path, kBox).isNull());
    EXPECT_TRUE(Platform::System().pictures->LoadPicture(f.t.path("missing.jpg"), kBox).isNull());
}

}  // namespace
}  // namespace zandrel::test

#pragma GCC diagnostic pop
