#include "platform/NativePath.h"

namespace zandrel {

// Windows names are UTF-16 text, which QFile takes as it stands (long paths included).
bool openForReading(QFile& file, const QString& path)
{
    if (!isPathText(path))
        return false;
    file.setFileName(path);
    return file.open(QIODevice::ReadOnly);
}

}  // namespace zandrel
