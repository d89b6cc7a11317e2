#include "platform/linux/LinuxFileSystem.h"

namespace zandrel {

void LinuxFileSystem::CopyFile(const QString& source, const QString& target, CopyCheck)
{
    throw PlatformError(QStringLiteral("Kopiëren van '%1' naar '%2' is nog niet mogelijk.").arg(source, target));
}

}  // namespace zandrel
