#include "platform/linux/HivePath.h"

#include <QDir>

namespace zandrel {

QString defaultHivePath()
{
    // A relative XDG_CONFIG_HOME is to be ignored, like an unset one.
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isRelativePath(config)) {
        const QString home = qEnvironmentVariable("HOME");
        if (QDir::isRelativePath(home))
            return QString();
        config = home + QStringLiteral("/.config");
    }
    return config + QStringLiteral("/zandrel/registry.reg");
}

}  // namespace zandrel
