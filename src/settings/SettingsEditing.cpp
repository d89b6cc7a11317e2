#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::sSet_Click() {}
void Zandrel::SETcamera_Click() {}
void Zandrel::sOpen_Click() {}

}  // namespace zandrel
