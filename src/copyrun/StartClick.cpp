#include "app/Zandrel.h"
#include "copyrun/CopyRun.h"

namespace zandrel {

void Zandrel::start_Click()
{
    // A click that was queued before the controls were locked.
    if (run_.active)
        return;
    run_ = RunState{true, false};
    tally_.forget();
    // The window was closed during the run, which has now stopped after its
    // current file: close it for real.
    auto endRun = [this] {
        run_.active = false;
        if (run_.stopRequested)
            close();
    };
    try {
        CopyRun(*this, run_.stopRequested, tally_).execute();
    } catch (...) {
        // A readiness check or a control that fails must not leave the window locked.
        try {
            EnableControls();
        } catch (...) {
        }
        endRun();
        throw;
    }
    endRun();
}

}  // namespace zandrel
