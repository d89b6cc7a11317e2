#pragma once

#include "platform/Desktop.h"
#include "platform/PlatformError.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace zandrel::test {

struct Launch {
    QString program;
    QString argument;
};

// Records what would have been started on the desktop.
class FakeLauncher : public Launcher {
public:
    void Launch(const QString& program, const QString& argument) override
    {
        if (!failure.isEmpty())
            throw PlatformError(failure);
        launches.push_back({program, argument});
    }
    std::vector<test::Launch> launches;
    QString failure;  // when set, every launch fails with this text
};

struct ShownBox {
    QString prompt;
    int flags;
    QString title;
};

// The person in front of the box: answers from a queue (IDNO when it runs dry),
// optionally doing something while the box is up.
class FakeMessageBox : public MessageBox {
public:
    int Show(const QString& prompt, int flags, const QString& title) override
    {
        shown.push_back({prompt, flags, title});
        if (whileShown)
            whileShown();
        if (answers.empty())
            return (flags & 0xF) == MB_YESNO ? IDNO : IDOK;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<int> answers;
    std::vector<ShownBox> shown;
    std::function<void()> whileShown;
};

class FakeClock : public Clock {
public:
    QDate Today() override
    {
        ++readings;
        return today;
    }
    QDate today{2026, 12, 8};
    int readings = 0;
};

}  // namespace zandrel::test
