#include "platform/SystemServices.h"

#include "platform/windows/WindowsDesktop.h"
#include "platform/windows/WindowsFileSystem.h"
#include "platform/windows/WindowsRegistry.h"

namespace zandrel {

std::shared_ptr<FileSystem> makeSystemFileSystem() { return std::make_shared<WindowsFileSystem>(); }

std::shared_ptr<Launcher> makeSystemLauncher() { return std::make_shared<WindowsLauncher>(); }

std::shared_ptr<RegistryService> makeSystemRegistry() { return std::make_shared<WindowsRegistryService>(); }

}  // namespace zandrel
