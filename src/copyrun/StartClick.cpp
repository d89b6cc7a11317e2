#include "app/Zandrel.h"
#include "copyrun/CameraTally.h"
#include "copyrun/CopyRun.h"

#include <QScopeGuard>

namespace zandrel {

void Zandrel::start_Click()
{
    // A click that was queued before the controls were locked.
    if (run_.active)
        return;
    run_.active = true;
    run_.closing = false;
    run_.stop = false;
    // RecountCamera's figures between two real counts, for this run only.
    CameraTally tally;
    tally_ = &tally;
    // However the run ends, it is over; when the window was closed during it,
    // the run has stopped and the window now closes for real.
    const auto endRun = qScopeGuard([this] {
        run_.active = false;
        tally_ = nullptr;
        if (run_.closing)
            close();
    });
    try {
        CopyRun(*this, run_.stop, tally).execute();
    } catch (...) {
        // A readiness check or a control that fails must not leave the window locked.
        EnableControls();
        throw;
    }
}

}  // namespace zandrel
