// The terminal a headless program runs from: Ctrl+C and SIGTERM, files that must not outlive
// an abrupt end, whether standard error is a terminal (where a progress bar can be drawn), and
// whether a window can be shown at all.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace platform {

enum class InterruptMode {
    // The first Ctrl+C sets the flag; the second ends the program at once, as do SIGTERM and
    // SIGHUP.
    CancelThenEnd,
    // Ctrl+C, SIGTERM and SIGHUP set the flag, however often; the program ends once it has
    // cleaned up.
    Cancel,
    // The first Ctrl+C, SIGTERM or SIGHUP sets the flag, so a job on a line can still tell the
    // peer it stops; a second of any of them ends the program at once.
    CancelAnyThenEnd,
};

// Installs the handlers and returns the flag they set (one for the process). A closed pipe
// on standard output is a write error, never a signal that ends the program.
const std::atomic<bool>& catchInterrupts(InterruptMode mode);
// The signal that set the flag first (SIGINT, SIGTERM, SIGHUP); 0 while it is not set.
int interruptingSignal();
// For a program that waits on descriptors (a window's event loop) rather than watching the
// flag: a descriptor that turns readable each time one of those signals sets the flag, -1
// before catchInterrupts. Reading it empty (it never blocks) takes the wake-ups seen.
int interruptDescriptor();
void takeInterruptWakeups();

// A temporary file the program removes itself when it ends normally; should a signal end it
// first (the second Ctrl+C, SIGTERM), the handler removes it before the program goes. At most
// a few at a time; longer paths are not kept.
void removeIfKilled(const std::string& path);
void forgetRemoveIfKilled(const std::string& path);

bool standardErrorIsTerminal();

// Reads what standard input has, waiting up to waitMs for it: the bytes read (at most max), 0
// when nothing came in time (or a signal ended the wait), -1 at the end of input or when it
// cannot be read.
long readStandardInput(void* buffer, std::size_t max, int waitMs);

// While one lives, a terminal on standard input hands over each key as it is typed, unechoed
// and with Enter as CR, as a serial terminal program does; Ctrl+C still interrupts. The
// terminal's settings come back when it goes, or when a signal ends the program first.
// Nothing changes when standard input is no terminal.
class KeystrokeInput {
public:
    KeystrokeInput();
    ~KeystrokeInput();
    KeystrokeInput(const KeystrokeInput&) = delete;
    KeystrokeInput& operator=(const KeystrokeInput&) = delete;
    bool active() const { return active_; }

private:
    bool active_ = false;
};

// A display a window can open on: an X server that answers on $DISPLAY, a Wayland display, or
// a Qt platform chosen in QT_QPA_PLATFORM.
bool displayAvailable();

}  // namespace platform
