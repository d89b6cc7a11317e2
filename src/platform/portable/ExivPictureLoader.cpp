#include "platform/portable/ExivPictureLoader.h"

#include "platform/NativePath.h"
#include "platform/portable/Exiv2Compat.h"

#include <QFile>
#include <QImageReader>
#include <QTransform>

#include <utility>

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
    case 2: return picture.mirrored(true, false);
    case 3: return picture.mirrored(true, true);
    case 4: return picture.mirrored(false, true);
    case 5: return picture.mirrored(false, true).transformed(QTransform().rotate(90));
    case 6: return picture.transformed(QTransform().rotate(90));
    case 7: return picture.mirrored(true, false).transformed(QTransform().rotate(90));
    case 8: return picture.transformed(QTransform().rotate(270));
    default: return picture;
    }
}

int exifOrientation(const Exiv2::ExifData& exif)
{
    const auto found = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    return found == exif.end() ? 1 : int(exiv2::integer(*found));
}

// The file's bytes, for Exiv2: it opens files by narrow path only, which on
// Windows cannot name every file. A mapping costs nothing until a page is
// read, and Exiv2 reads little more than the EXIF block.
class FileBytes {
public:
    explicit FileBytes(const QString& path)
    {
        if (!openForReading(file_, path))
            return;
        if (uchar* mapped = file_.map(0, file_.size()))
            bytes_ = {mapped, file_.size()};
        else  // a file system that cannot map files
            bytes_ = {reinterpret_cast<const uchar*>((copy_ = file_.readAll()).constData()), copy_.size()};
    }
    QFile& file() { return file_; }
    const Exiv2::byte* data() const { return bytes_.first; }
    qint64 size() const { return bytes_.second; }

private:
    QFile file_;
    QByteArray copy_;
    std::pair<const uchar*, qint64> bytes_{nullptr, 0};
};

// The thumbnail the camera wrote into the EXIF block; a null image when there is none.
QImage embeddedThumbnail(const FileBytes& bytes)
{
    keepExiv2Quiet();
    if (bytes.size() == 0)
        return QImage();
    try {
        auto image = Exiv2::ImageFactory::open(bytes.data(), bytes.size());
        image->readMetadata();
        const Exiv2::ExifThumbC thumbnail(image->exifData());
        return upright(QImage::fromData(exiv2::bytes(thumbnail.copy())), exifOrientation(image->exifData()));
    } catch (const std::exception&) {
        return QImage();
    }
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
    FileBytes bytes(path);
    const QImage thumbnail = embeddedThumbnail(bytes);
    if (!thumbnail.isNull())
        return thumbnail;
    return decodedAtBoxSize(bytes.file(), boxSize);
}

}  // namespace zandrel

