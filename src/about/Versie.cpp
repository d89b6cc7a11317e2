#include "app/Zandrel.h"

namespace zandrel {

void Zandrel::Versie_Click() {}

}  // namespace zandrel
