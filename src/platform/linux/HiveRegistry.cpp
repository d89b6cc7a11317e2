#include "platform/linux/HiveRegistry.h"

#include "platform/PlatformError.h"

#include <QDir>
#include <QStandardPaths>

namespace zandrel {

HiveRegistryService::HiveRegistryService(QString hivePath) : hivePath_(std::move(hivePath)) {}

QString HiveRegistryService::defaultHivePath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/zandrel/registry.reg");
}

std::unique_ptr<Registry> HiveRegistryService::Connect()
{
    throw PlatformError(QStringLiteral("De instellingen in '%1' zijn nog niet te bereiken.").arg(hivePath_));
}

}  // namespace zandrel
