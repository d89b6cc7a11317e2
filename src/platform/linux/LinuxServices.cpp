#include "platform/SystemServices.h"

#include "platform/linux/LinuxDesktop.h"
#include "platform/linux/LinuxFileSystem.h"

namespace zandrel {

std::shared_ptr<FileSystem> makeSystemFileSystem() { return std::make_shared<LinuxFileSystem>(); }

std::shared_ptr<Launcher> makeSystemLauncher() { return std::make_shared<LinuxLauncher>(); }

}  // namespace zandrel
