#pragma once

#include <QByteArray>

#include <sys/stat.h>

namespace zandrel {

// Whether the links on a path may be followed by the rule the kernel applies
// where fs.protected_symlinks is on: a link in a sticky folder that everyone
// may write to is followed only when it belongs to this user or to the
// folder's owner. Applied whatever that setting is: a link another user
// planted there would have the run write photos wherever that user chose.
bool linksAreTrusted(const QByteArray& path);

// The same rule for one entry of a folder, a link or a real folder alike:
// what another user made in a sticky folder that everyone may write to is
// not to be used, as that user could take back or empty it at any time.
bool ownerIsTrusted(const struct stat& folder, uid_t owner);

}  // namespace zandrel
