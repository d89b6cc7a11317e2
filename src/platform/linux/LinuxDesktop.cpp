#include "platform/linux/LinuxDesktop.h"

#include "platform/PlatformError.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>

namespace zandrel {

void LinuxLauncher::Launch(const QString& program, const QString& argument)
{
    const QString executable = program == QLatin1String("explorer") ? QStringLiteral("xdg-open") : program;
    // One argv entry, no shell: blanks, quotes and $(...) reach the program as they stand.
    if (!QProcess::startDetached(executable, {argument}))
        throw PlatformError(QStringLiteral("Kan '%1' niet starten om '%2' te openen.").arg(executable, argument));
}

int QtMessageBox::Show(const QString& prompt, int flags, const QString& title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);  // a folder's name is shown as it is, never as markup
    box.setText(QString(prompt).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    const bool yesNo = (flags & 0xF) == MB_YESNO;
    box.setStandardButtons(yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok);
    box.setDefaultButton(yesNo ? QMessageBox::Yes : QMessageBox::Ok);
    switch (flags & 0xF0) {
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return IDYES;
    return answer == QMessageBox::No ? IDNO : IDOK;
}

QDate SystemClock::Today() { return QDate::currentDate(); }

}  // namespace zandrel
