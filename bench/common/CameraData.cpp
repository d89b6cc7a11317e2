#include "CameraData.h"

#include "BenchSupport.h"
#include "platform/FileSystem.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QRandomGenerator>

#include <algorithm>
#include <string>

#include "platform/portable/Exiv2Compat.h"

namespace zandrel::bench {

namespace {

QByteArray encodeJpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

// Sensor noise is what keeps a camera's JPEG large.
QImage noisyScene(QSize size, int noise)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(42);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const quint32 r = random.generate();
            auto channel = [&](int base, int shift) {
                return std::clamp(base + int((r >> shift) & 0xFF) * noise / 255 - noise / 2, 0, 255);
            };
            line[x] = qRgb(channel(x * 255 / size.width(), 0), channel(y * 255 / size.height(), 8),
                           channel(128 + (x ^ y) % 64, 16));
        }
    }
    return image;
}

QByteArray withExif(const QByteArray& jpeg, const QByteArray& thumbnail, int number)
{
    auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(jpeg.constData()), long(jpeg.size()));
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Zandrel bench";
    exif["Exif.Photo.DateTimeOriginal"] = QStringLiteral("2026:12:08 10:%1:%2")
                                              .arg(number / 60 % 60, 2, 10, QLatin1Char('0'))
                                              .arg(number % 60, 2, 10, QLatin1Char('0'))
                                              .toStdString();
    exif["Exif.Photo.ImageUniqueID"] = std::to_string(number);
    Exiv2::ExifThumb(exif).setJpegThumbnail(reinterpret_cast<const Exiv2::byte*>(thumbnail.constData()),
                                            long(thumbnail.size()));
    image->setExifData(exif);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.seek(0, Exiv2::BasicIo::beg);
    return exiv2::bytes(io.read(io.size()));
}

}  // namespace

CameraPhoto cameraPhoto(QSize size, int noise)
{
    const QImage scene = noisyScene(size, noise);
    return {encodeJpeg(scene, 92),
            encodeJpeg(scene.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 85)};
}

void makeCameraJpegs(const QString& folder, int count, const CameraPhoto& photo)
{
    QDir().mkpath(folder);
    for (int i = 1; i <= count; ++i)
        writeFile(joinPath(folder, QStringLiteral("DSC%1.JPG").arg(i, 5, 10, QLatin1Char('0'))),
                  withExif(photo.jpeg, photo.thumbnail, i));
}

void makeSmallFiles(const QString& folder, int count, int bytes)
{
    QDir().mkpath(folder);
    QByteArray data(bytes, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (int i = 1; i <= count; ++i) {
        random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
        writeFile(joinPath(folder, QStringLiteral("IMG%1.ARW").arg(i, 5, 10, QLatin1Char('0'))), data);
    }
}

}  // namespace zandrel::bench
