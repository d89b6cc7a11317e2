#include "platform/windows/WindowsDesktop.h"

#include "platform/PlatformError.h"
#include "platform/windows/Win32.h"

#include <shellapi.h>

#include <QDir>
#include <QProcess>
#include <QUrl>

namespace zandrel {

namespace {

bool isWebAddress(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// The browser the user chose, through the shell's association for the address.
bool openInBrowser(const QString& address)
{
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(nullptr, L"open", win32::wide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

// The argument as one quoted word of the command line. Always quoted, as the
// explorer splits an unquoted one at its commas; backslashes before the
// closing quote are doubled, so that they do not escape it. A name on Windows
// holds no double quote.
QString quotedArgument(const QString& argument)
{
    qsizetype trailing = 0;
    while (trailing < argument.size() && argument.at(argument.size() - 1 - trailing) == QLatin1Char('\\'))
        ++trailing;
    return QLatin1Char('"') + argument + QString(trailing, QLatin1Char('\\')) + QLatin1Char('"');
}

}  // namespace

void WindowsLauncher::Launch(const QString& program, const QString& argument)
{
    bool started = false;
    if (program == QLatin1String("explorer") && isWebAddress(argument)) {
        started = openInBrowser(argument);
    } else {
        // One argument, no shell in between: blanks, commas and & reach the
        // explorer as they stand. A folder made absolute by Qt has forward
        // slashes, which the explorer does not take for a path.
        QProcess process;
        process.setProgram(program == QLatin1String("explorer") ? QStringLiteral("explorer.exe") : program);
        process.setNativeArguments(quotedArgument(QDir::toNativeSeparators(argument)));
        started = process.startDetached();
    }
    if (!started)
        throw PlatformError(QStringLiteral("Kan '%1' niet starten om '%2' te openen.").arg(program, argument));
}

}  // namespace zandrel
