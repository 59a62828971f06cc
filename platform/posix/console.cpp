#include "platform/console.h"

#include <unistd.h>

#include <csignal>

namespace platform {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onInterrupt(int) { interrupted = true; }

}  // namespace

const std::atomic<bool>& catchInterrupts(InterruptMode mode) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // Back to the default after the first: the second Ctrl+C ends the program.
    if (mode == InterruptMode::CancelThenEnd) action.sa_flags |= SA_RESETHAND;
    ::sigaction(SIGINT, &action, nullptr);
    if (mode == InterruptMode::Cancel) ::sigaction(SIGTERM, &action, nullptr);
    return interrupted;
}

bool standardErrorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace platform
