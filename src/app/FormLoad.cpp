#include "app/Zandrel.h"

#include <QGuiApplication>
#include <QScreen>

namespace zandrel {

void Zandrel::Form_Load()
{
    Message.setCaption(QString());
    procent.setCaption(QString());
    sAutodatum_Click();
    Refresh1_Click();
}

void Zandrel::Start()
{
    runHandler(&Zandrel::Form_Load);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    // The first control in tab order that can take the focus gets it, shown as
    // the keyboard shows it: someone who starts with the keyboard sees where.
    focusNextChild();
    setAttribute(Qt::WA_KeyboardFocusChange);
}

}  // namespace zandrel
