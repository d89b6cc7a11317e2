#include "platform/SystemServices.h"

#include "platform/linux/HivePath.h"
#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/LinuxFileSystem.h"
#include "platform/portable/HiveRegistry.h"

namespace zandrel {

std::shared_ptr<FileSystem> makeSystemFileSystem() { return std::make_shared<LinuxFileSystem>(); }

std::shared_ptr<Launcher> makeSystemLauncher() { return std::make_shared<LinuxLauncher>(); }

// Linux has no registry: the hive file stands in for it.
std::shared_ptr<RegistryService> makeSystemRegistry()
{
    return std::make_shared<HiveRegistryService>(defaultHivePath());
}

}  // namespace zandrel
