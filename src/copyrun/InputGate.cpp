#include "copyrun/InputGate.h"

#include <QCoreApplication>

namespace zandrel {

namespace {

bool waitsForTheEventPass(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

}  // namespace

InputGate::InputGate() { QCoreApplication::instance()->installEventFilter(this); }

InputGate::~InputGate()
{
    QCoreApplication::instance()->removeEventFilter(this);
    for (auto& [receiver, event] : held_)
        if (receiver)
            QCoreApplication::postEvent(receiver, event.release());
}

bool InputGate::eventFilter(QObject* receiver, QEvent* event)
{
    if (!waitsForTheEventPass(event->type()) || !receiver->isWidgetType())
        return false;
    held_.emplace_back(receiver, std::unique_ptr<QEvent>(event->clone()));
    return true;
}

}  // namespace zandrel
