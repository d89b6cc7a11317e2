#include "platform/portable/QtMessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace zandrel {

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
    case MB_ICONQUESTION:
        box.setIcon(QMessageBox::Question);
        break;
    case MB_ICONERROR:
        box.setIcon(QMessageBox::Critical);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
        break;
    }
    const int answer = box.exec();
    if (answer == QMessageBox::Yes)
        return IDYES;
    return answer == QMessageBox::No ? IDNO : IDOK;
}

}  // namespace zandrel
