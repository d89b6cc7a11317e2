#include "platform/portable/ExivPictureLoader.h"

#include "platform/NativePath.h"
#include "platform/portable/Exiv2Compat.h"

#include <QFile>
#include <QImageReader>
#include <QTransform>

namespace zandrel {

namespace {

// A broken or foreign file is an ordinary case for the preview, not news for stderr.
void keepExiv2Quiet()
{
    static const bool muted = [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        return true;
    }();
    (void)muted;
}

// A camera held on its side writes the picture as the sensor saw it and says in
// the EXIF orientation (1 to 8) how to turn it upright; its thumbnail is stored
// the same way.
QImage upright(const QImage& picture, int orientation)
{
    switch (orientation) {
    case 2:
        return picture.mirrored(true, false);
    case 3:
        return picture.mirrored(true, true);
    case 4:
        return picture.mirrored(false, true);
    case 5:
        return picture.mirrored(false, true).transformed(QTransform().rotate(90));
    case 6:
        return picture.transformed(QTransform().rotate(90));
    case 7:
        return picture.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8:
        return picture.transformed(QTransform().rotate(270));
    default:
        return picture;
    }
}

int exifOrientation(const Exiv2::ExifData& exif)
{
    const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    return found == exif.end() ? 1 : int(exiv2::integer(*found));
}

// Exiv2 opens files by narrow path only, which on Windows cannot name every
// file, so it is handed the file's bytes: first the head, where the metadata
// are, and the whole file only when they reach further. Read, not mapped: a
// mapped file cut short by a pulled disk would end the program.
constexpr qint64 kHeadBytes = 256 * 1024;
constexpr qint64 kLargestWhole = 64 * 1024 * 1024;

QImage thumbnailIn(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    try {
        auto image = Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte*>(bytes.constData()), bytes.size());
        image->readMetadata();
        const Exiv2::ExifThumbC thumbnail(image->exifData());
        return upright(QImage::fromData(exiv2::bytes(thumbnail.copy())), exifOrientation(image->exifData()));
    } catch (const std::exception&) {
        return QImage();
    }
}

// The thumbnail the camera wrote into the EXIF block; a null image when there is none.
QImage embeddedThumbnail(QFile& file)
{
    keepExiv2Quiet();
    if (!file.isOpen())
        return QImage();
    const QByteArray head = file.read(kHeadBytes);
    const QImage thumbnail = thumbnailIn(head);
    if (!thumbnail.isNull() || file.size() <= head.size() || file.size() > kLargestWhole || !file.seek(0))
        return thumbnail;
    return thumbnailIn(file.readAll());
}

// Decoding the full image costs far more than copying it; JPEG can at least
// decode straight at a fraction of its size.
QImage decodedAtBoxSize(QFile& file, QSize boxSize)
{
    if (!file.isOpen() || !file.seek(0))
        return QImage();
    QImageReader reader(&file);
    if (reader.format() != "jpeg")
        return QImage();
    // The reader turns the image upright after scaling it, so a sideways one is
    // scaled to the box turned on its side.
    reader.setAutoTransform(true);
    reader.setScaledSize(reader.transformation() & QImageIOHandler::TransformationRotate90 ? boxSize.transposed()
                                                                                           : boxSize);
    return reader.read();
}

}  // namespace

QImage ExivPictureLoader::LoadPicture(const QString& path, QSize boxSize)
{
    QFile file;
    openForReading(file, path);
    const QImage thumbnail = embeddedThumbnail(file);
    if (!thumbnail.isNull())
        return thumbnail;
    return decodedAtBoxSize(file, boxSize);
}

}  // namespace zandrel
