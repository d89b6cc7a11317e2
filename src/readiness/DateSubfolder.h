#pragma once

#include <QString>

namespace zandrel {

// "2006 Augustus": the year, a blank and the Dutch month name.
QString dateSubfolderName(int year, int month);

}  // namespace zandrel
