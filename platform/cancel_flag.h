// The cancel flag of a job: set once by the side that owns the worker (window closing, a
// Cancel button, Ctrl+C), never cleared. Every loop of the job reads it, and its pauses and
// line waits end early when it is set, as pending I/O is cancelled.
#pragma once

#include <atomic>
#include <chrono>

#include "platform/event.h"

namespace platform {

class CancelFlag {
public:
    void set() {
        flag_ = true;
        event_.set();
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

}  // namespace platform
