// Where a press of start spends its time: every call the run makes to the file
// system and the preview, timed, with the thread that made it.

#pragma once

#include "platform/Platform.h"

#include <mutex>
#include <thread>
#include <vector>

namespace zandrel::bench {

// Seconds on CLOCK_MONOTONIC, the clock the card's own log keeps too.
double monotonicNow();

class RunAccount {
public:
    struct Call {
        std::thread::id thread;
        const char* what;
        double begin, end;
    };

    // Puts timed wrappers round the platform's file system and preview; the
    // calling thread is taken to be the window's.
    void watch(Platform& platform);
    void record(const char* what, double begin, double end);

    std::vector<Call> calls() const;
    std::thread::id windowThread() const { return window_; }
    // When start was pressed; 0 until then.
    double pressed() const { return pressed_; }
    void press() { pressed_ = monotonicNow(); }

private:
    mutable std::mutex mutex_;
    std::vector<Call> calls_;
    std::thread::id window_;
    double pressed_ = 0;
};

}  // namespace zandrel::bench
