#pragma once

#include "platform/Desktop.h"

namespace zandrel {

// Shows the preview a camera embeds in its JPEGs; decodes the image itself, at
// the box's size, only when there is none.
class ExivPictureLoader : public PictureLoader {
public:
    QImage LoadPicture(const QString& path, QSize boxSize) override;
};

}  // namespace zandrel
