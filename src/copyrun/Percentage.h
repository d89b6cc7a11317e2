#pragma once

#include <QString>

namespace zandrel {

// The text of `procent` after `counter` of `total` files, such as "33%".
QString percentageCaption(qint64 counter, qint64 total);

}  // namespace zandrel
