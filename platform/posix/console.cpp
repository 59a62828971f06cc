#include "platform/console.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

std::atomic<bool> interrupted{false};
std::atomic<int> firstSignal{0};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

// Written by the handlers, read by an event loop; made once, before any handler is installed.
int wakePipe[2] = {-1, -1};

void onInterrupt(int signal) {
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    interrupted = true;
    if (wakePipe[1] >= 0) {
        const int saved = errno;
        const char wake = 1;
        [[maybe_unused]] ssize_t n = ::write(wakePipe[1], &wake, 1);  // full: a wake-up waits
        errno = saved;
    }
}

// Paths the handler of a fatal signal removes, written by any thread outside handlers and read
// by the handler, which needs nothing but unlink(). A slot is claimed (Writing) before its path
// is copied and published (Used) with release, so the handler, loading with acquire, sees the
// whole path or skips the slot.
constexpr int kCleanupSlots = 4;
constexpr std::size_t kCleanupPathMax = 1024;
enum Slot : int { Free, Writing, Used };
char cleanupPaths[kCleanupSlots][kCleanupPathMax];
std::atomic<int> cleanupState[kCleanupSlots];
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

// The terminal's settings before KeystrokeInput changed them; put back by the handler too,
// published the same way.
termios savedTerminal;
std::atomic<bool> terminalChanged{false};

void onFatal(int signal) {
    for (int i = 0; i < kCleanupSlots; ++i)
        if (cleanupState[i].load(std::memory_order_acquire) == Used) ::unlink(cleanupPaths[i]);
    if (terminalChanged.load(std::memory_order_acquire))
        ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void firstInterruptThenFatal(int signal) {
    if (interrupted) {
        onFatal(signal);
        return;
    }
    onInterrupt(signal);
}

}  // namespace

void removeIfKilled(const std::string& path) {
    if (path.empty() || path.size() >= kCleanupPathMax) return;
    for (int i = 0; i < kCleanupSlots; ++i) {
        int free = Free;
        if (!cleanupState[i].compare_exchange_strong(free, Writing, std::memory_order_acquire))
            continue;
        std::memcpy(cleanupPaths[i], path.c_str(), path.size() + 1);
        cleanupState[i].store(Used, std::memory_order_release);
        return;
    }
}

void forgetRemoveIfKilled(const std::string& path) {
    for (int i = 0; i < kCleanupSlots; ++i) {
        // A used slot's path changes only after it is freed, so it can be compared in place.
        if (cleanupState[i].load(std::memory_order_acquire) != Used || path != cleanupPaths[i])
            continue;
        int used = Used;
        cleanupState[i].compare_exchange_strong(used, Free, std::memory_order_release);
    }
}

bool displayAvailable() {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    if (qpa && *qpa && std::strncmp(qpa, "xcb", 3) != 0) return true;
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) return true;
    const char* x = std::getenv("DISPLAY");
    if (!x || !*x) return false;
    // Qt gives up on an X server that does not answer by aborting: ask it first.
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XCloseDisplay(display);
    return true;
}

const std::atomic<bool>& catchInterrupts(InterruptMode mode) {
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (mode == InterruptMode::Cancel) {
        action.sa_handler = onInterrupt;
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    } else if (mode == InterruptMode::CancelAnyThenEnd) {
        action.sa_handler = firstInterruptThenFatal;
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
    } else {
        // The second Ctrl+C ends the program, as SIGTERM and SIGHUP do, after the files it
        // must not leave behind are gone.
        action.sa_handler = firstInterruptThenFatal;
        ::sigaction(SIGINT, &action, nullptr);
        action.sa_handler = onFatal;
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
    return interrupted;
}

int interruptingSignal() {
    return interrupted ? firstSignal.load() : 0;
}

int interruptDescriptor() {
    return wakePipe[0];
}

void takeInterruptWakeups() {
    if (wakePipe[0] < 0) return;
    char taken[64];
    while (::read(wakePipe[0], taken, sizeof taken) > 0) {
    }
}

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace platform

namespace platform {

long readStandardInput(void* buffer, std::size_t max, int waitMs) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int r = ::poll(&p, 1, waitMs);
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    ssize_t n = ::read(STDIN_FILENO, buffer, max);
    if (n < 0) return errno == EINTR || errno == EAGAIN ? 0 : -1;
    return n == 0 ? -1 : static_cast<long>(n);
}

}  // namespace platform

namespace platform {

KeystrokeInput::KeystrokeInput() {
    if (terminalChanged.load(std::memory_order_acquire) || ::isatty(STDIN_FILENO) != 1) return;
    if (::tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return;
    termios keys = savedTerminal;
    keys.c_lflag &= ~(ICANON | ECHO | ECHONL | IEXTEN);
    keys.c_iflag &= ~(ICRNL | INLCR | IGNCR | IXON);
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    terminalChanged.store(true, std::memory_order_release);
    active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &keys) == 0;
    if (!active_) terminalChanged.store(false, std::memory_order_release);
}

KeystrokeInput::~KeystrokeInput() {
    if (!active_) return;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    terminalChanged.store(false, std::memory_order_release);
}

}  // namespace platform
