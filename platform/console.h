// The terminal a headless program runs from: Ctrl+C and SIGTERM, and whether standard error
// is a terminal (where a progress bar can be drawn).
#pragma once

#include <atomic>

namespace platform {

enum class InterruptMode {
    // The first Ctrl+C sets the flag; the second ends the program at once, as does SIGTERM.
    CancelThenEnd,
    // Ctrl+C and SIGTERM set the flag, however often; the program ends once it has cleaned up.
    Cancel,
};

// Installs the handlers and returns the flag they set (one for the process).
const std::atomic<bool>& catchInterrupts(InterruptMode mode);

bool standardErrorIsTerminal();

}  // namespace platform
