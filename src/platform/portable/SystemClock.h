#pragma once

#include "platform/Desktop.h"

namespace zandrel {

class SystemClock : public Clock {
public:
    QDate Today() override { return QDate::currentDate(); }
};

}  // namespace zandrel
