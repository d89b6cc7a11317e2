#include "platform/linux/LinkRule.h"

#include "platform/linux/NativePath.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zandrel {

namespace {

bool sharedAndSticky(const struct stat& folder) { return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH); }

bool trustedLink(const QByteArray& link)
{
    struct stat info {};
    struct stat folder {};
    if (::lstat(link.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
        return true;  // no link here; what is missing the caller finds out itself
    if (::stat(parentFolder(link).constData(), &folder) != 0)
        return false;
    return ownerIsTrusted(folder, info.st_uid);
}

}  // namespace

bool ownerIsTrusted(const struct stat& folder, uid_t owner)
{
    return !sharedAndSticky(folder) || owner == ::geteuid() || owner == folder.st_uid;
}

bool linksAreTrusted(const QByteArray& path)
{
    qsizetype previousSlash = -1;
    for (qsizetype at = 0; at <= path.size(); ++at) {
        if (at < path.size() && path.at(at) != '/')
            continue;
        // Each component in turn, from the path's own text; empty ones (a
        // doubled separator) are no links.
        if (at > previousSlash + 1 && !trustedLink(path.left(at)))
            return false;
        previousSlash = at;
    }
    return true;
}

}  // namespace zandrel
