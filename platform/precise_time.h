// Sleeping to the microsecond. Paced lines and lock-step exchanges lose their precision to the
// kernel's timer slack (50 us by default) and to sleeps measured from "now", which add every
// wake-up's lateness to the next wait.
#pragma once

#include <chrono>

#include "platform/deadline.h"

namespace platform {

// Lets the calling thread's timed waits (sleeps, polls, condition waits) end within about a
// microsecond of their time instead of the default slack. Threads started later inherit it.
void useFineTimerSlack();

// Sleeps until the steady clock reaches `until`, whatever signals arrive meanwhile; an
// absolute deadline, so a late wake-up is not carried into the next sleep.
void sleepUntil(std::chrono::steady_clock::time_point until);
inline void sleepUntil(const Deadline& deadline) {
    sleepUntil(deadline.end());
}

}  // namespace platform
