#pragma once

#include "platform/Desktop.h"

namespace zandrel {

// "explorer" is this system's file manager: xdg-open opens a folder in it and a
// web address in the browser.
class LinuxLauncher : public Launcher {
public:
    void Launch(const QString& program, const QString& argument) override;
};

}  // namespace zandrel
