#pragma once

#include "platform/Desktop.h"

namespace zandrel {

// "explorer" with a folder starts the file explorer on it; with a web address
// the default browser opens it.
class WindowsLauncher : public Launcher {
public:
    void Launch(const QString& program, const QString& argument) override;
};

}  // namespace zandrel
