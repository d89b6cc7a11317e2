#include "platform/linux/ExivPictureLoader.h"

#include "platform/linux/Exiv2Compat.h"

#include <QFile>
#include <QImageReader>

// Exiv2 0.27 still names its owning pointers std::auto_ptr.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

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

// The thumbnail the camera wrote into the EXIF block; a null image when there is none.
QImage embeddedThumbnail(const QString& path)
{
    keepExiv2Quiet();
    try {
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        const Exiv2::ExifThumbC thumbnail(image->exifData());
        return QImage::fromData(exiv2::bytes(thumbnail.copy()));
    } catch (const std::exception&) {
        return QImage();
    }
}

// Decoding the full image costs far more than copying it; JPEG can at least
// decode straight at a fraction of its size.
QImage decodedAtBoxSize(const QString& path, QSize boxSize)
{
    QImageReader reader(path);
    if (reader.format() != "jpeg")
        return QImage();
    reader.setScaledSize(boxSize);
    return reader.read();
}

}  // namespace

QImage ExivPictureLoader::LoadPicture(const QString& path, QSize boxSize)
{
    const QImage thumbnail = embeddedThumbnail(path);
    if (!thumbnail.isNull())
        return thumbnail;
    return decodedAtBoxSize(path, boxSize);
}

}  // namespace zandrel

#pragma GCC diagnostic pop
