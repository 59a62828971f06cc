// The cancel flag of a job: set by the side that owns the worker (window closing, a Cancel
// button, Ctrl+C). Every loop of the job reads it, and its pauses and line waits end early when
// it is set, as pending I/O is cancelled. A worker that runs one job after another clears it
// as the next job starts (reset), unless the worker itself is ending.
#pragma once

#include <atomic>
#include <chrono>

#include "platform/deadline.h"
#include "platform/event.h"
#include "platform/precise_time.h"

namespace platform {

class CancelFlag {
public:
    void set() {
        flag_ = true;
        event_.set();
    }
    void reset() {
        flag_ = false;
        event_.reset();
    }
    bool isSet() const { return flag_; }
    // Sleeps for the pause; false when the flag was set before or during it.
    bool pause(std::chrono::milliseconds ms) const {
        if (flag_) return false;
        return !event_.wait(ms) && !flag_;
    }

private:
    std::atomic<bool> flag_{false};
    Event event_;
};

// A pause that the flag, where there is one, cuts short; without one it sleeps to its end.
// False when the flag was set before or during it.
inline bool pauseFor(const CancelFlag* cancel, std::chrono::milliseconds wait) {
    if (cancel) return cancel->pause(wait);
    sleepUntil(Deadline(wait));
    return true;
}

}  // namespace platform
