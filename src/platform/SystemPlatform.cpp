#include "platform/Platform.h"

#include "platform/SystemServices.h"
#include "platform/portable/ExivPictureLoader.h"
#include "platform/portable/QtMessageBox.h"
#include "platform/portable/SystemClock.h"

#include <QDir>

namespace zandrel {

Platform Platform::System()
{
    return Platform{makeSystemFileSystem(),
                    makeSystemRegistry(),
                    makeSystemLauncher(),
                    std::make_shared<QtMessageBox>(),
                    std::make_shared<ExivPictureLoader>(),
                    std::make_shared<SystemClock>()};
}

QString CurrentDirectory() { return QDir::currentPath(); }

}  // namespace zandrel
