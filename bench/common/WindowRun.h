// One press of start on a fresh window, as the user makes it, in this process.

#pragma once

#include <QString>

namespace zandrel::bench {

class RunAccount;

// The seconds from the press until the window reads that it is done; the copies
// land in photos/run. The settings go to the hive under XDG_CONFIG_HOME. With an
// account, the run's calls to the file system and the preview are timed into it.
double windowRun(const QString& camera, const QString& photos, bool emptying, bool preview,
                 RunAccount* account = nullptr);

}  // namespace zandrel::bench
