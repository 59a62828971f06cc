// The cancel flag: set once by the side that owns the worker (window closing, Ctrl+C), never
// cleared. Every loop of a download reads it, and the pauses and line waits of the worker
// end early when it is set, as pending I/O is cancelled.
#pragma once

#include <atomic>
#include <chrono>

#include "platform/event.h"

namespace kolvane {

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
    platform::Event event_;
};

}  // namespace kolvane
