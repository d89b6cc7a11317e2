#pragma once

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/Registry.h"

#include <memory>

namespace zandrel {

// Everything the window needs from its system. Tests swap in fakes where the
// real thing is a person or the desktop.
struct Platform {
    std::shared_ptr<FileSystem> fileSystem;
    std::shared_ptr<RegistryService> registry;
    std::shared_ptr<Launcher> launcher;
    std::shared_ptr<MessageBox> messageBox;
    std::shared_ptr<PictureLoader> pictures;
    std::shared_ptr<Clock> clock;

    static Platform System();  // the real implementations of this system
};

QString CurrentDirectory();

}  // namespace zandrel
