#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::LoadSettings() {}

}  // namespace zandrel
