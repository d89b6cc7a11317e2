#pragma once

#include "platform/Desktop.h"

namespace zandrel {

class QtMessageBox : public MessageBox {
public:
    int Show(const QString& prompt, int flags, const QString& title) override;
};

}  // namespace zandrel
