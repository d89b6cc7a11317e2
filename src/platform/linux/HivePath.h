#pragma once

#include <QString>

namespace zandrel {

// Where the settings hive lives on this system: $XDG_CONFIG_HOME/zandrel/registry.reg,
// by default ~/.config/...; empty when neither names an absolute folder.
QString defaultHivePath();

}  // namespace zandrel
