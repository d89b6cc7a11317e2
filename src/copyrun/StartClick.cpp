#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::start_Click() {}
void Zandrel::RecountCamera() {}

}  // namespace zandrel
