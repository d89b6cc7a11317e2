#pragma once

#include "platform/Desktop.h"

namespace zandrel {

// "explorer" is this system's file manager: xdg-open opens a folder in it and a
// web address in the browser.
class LinuxLauncher : public Launcher {
public:
    void Launch(const QString& program, const QString& argument) override;
};

class QtMessageBox : public MessageBox {
public:
    int Show(const QString& prompt, int flags, const QString& title) override;
};

class SystemClock : public Clock {
public:
    QDate Today() override;
};

}  // namespace zandrel
