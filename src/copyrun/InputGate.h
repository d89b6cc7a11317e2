#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

namespace zandrel {

// Holds the user's clicks and keys back while it lives, and hands them on in
// their order when it goes, so that they reach the window at its next pass of
// pending events: those from the window system as well as posted ones.
// Everything else, a close of the window among it, passes at once.
class InputGate : public QObject {
public:
    InputGate();
    ~InputGate() override;

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override;

private:
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

}  // namespace zandrel
