#include "platform/linux/ExivPictureLoader.h"

#include <QImageReader>

namespace zandrel {

QImage ExivPictureLoader::LoadPicture(const QString& path, QSize boxSize)
{
    QImageReader reader(path);
    reader.setScaledSize(boxSize);
    return reader.read();
}

}  // namespace zandrel
