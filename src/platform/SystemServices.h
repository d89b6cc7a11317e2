#pragma once

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"

#include <memory>

namespace zandrel {

// The parts of the platform bundle that differ from system to system. Each
// system's folder (linux/, windows/) defines them; Platform::System() adds the
// portable rest.
std::shared_ptr<FileSystem> makeSystemFileSystem();
std::shared_ptr<Launcher> makeSystemLauncher();
std::shared_ptr<RegistryService> makeSystemRegistry();

}  // namespace zandrel
