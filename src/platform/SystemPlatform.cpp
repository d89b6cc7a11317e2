#include "platform/Platform.h"

#include "platform/linux/ExivPictureLoader.h"
#include "platform/linux/HiveRegistry.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/LinuxFileSystem.h"

#include <QDir>

namespace zandrel {

Platform Platform::System()
{
    return Platform{std::make_shared<LinuxFileSystem>(),
                    std::make_shared<HiveRegistryService>(HiveRegistryService::defaultHivePath()),
                    std::make_shared<LinuxLauncher>(),
                    std::make_shared<QtMessageBox>(),
                    std::make_shared<ExivPictureLoader>(),
                    std::make_shared<SystemClock>()};
}

QString CurrentDirectory() { return QDir::currentPath(); }

}  // namespace zandrel
