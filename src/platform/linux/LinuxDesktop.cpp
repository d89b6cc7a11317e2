#include "platform/linux/LinuxDesktop.h"

#include "platform/PlatformError.h"

#include <QProcess>

namespace zandrel {

void LinuxLauncher::Launch(const QString& program, const QString& argument)
{
    const QString executable = program == QLatin1String("explorer") ? QStringLiteral("xdg-open") : program;
    // One argv entry, no shell: blanks, quotes and $(...) reach the program as they stand.
    if (!QProcess::startDetached(executable, {argument}))
        throw PlatformError(QStringLiteral("Kan '%1' niet starten om '%2' te openen.").arg(executable, argument));
}

}  // namespace zandrel
