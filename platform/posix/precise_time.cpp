#include "platform/precise_time.h"

#include <sys/prctl.h>

#include <cerrno>
#include <ctime>

namespace platform {

void useFineTimerSlack() {
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void sleepUntil(std::chrono::steady_clock::time_point until) {
    // steady_clock is CLOCK_MONOTONIC on Linux, so its time points are the clock's own.
    auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch());
    if (ns.count() <= 0) return;
    timespec t{static_cast<time_t>(ns.count() / 1000000000),
               static_cast<long>(ns.count() % 1000000000)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
    }
}

}  // namespace platform
