// A stoppable worker thread: start it with a body, ask it to stop, wait for it to end.
//
// The body runs on the worker's own thread and returns soon after a stop request: it checks
// stopRequested() (or its std::stop_token) in its loops and waits with pause() or
// waitForWake(), which end at once when a stop is requested. A body that waits on something
// else (a file descriptor, a serial line) sets a stop hook that wakes that wait. wake() sets
// the worker's wake-up event; waitForWake() consumes it.
//
// Threads: every call may come from any thread; stop() and waitForEnd() from the worker's own
// thread only ask (they cannot wait for themselves). A worker stops before what its body uses
// goes away: the destructor stops it, so an owner whose body uses its other members declares
// the Worker after them or calls stop() in its own destructor.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string_view>
#include <thread>

#include "platform/system_error.h"

namespace platform {

class Worker {
public:
    using Body = std::function<void(std::stop_token)>;

    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts the body on a new thread, after joining one that has ended; with woken, the
    // wake-up event is set before the body runs. False when a body still runs or no thread can
    // be made (startFailure() then says why): a caller that goes on to wait for the body would
    // wait forever, so every caller checks.
    [[nodiscard]] bool start(Body body, bool woken = false);
    // Why the last start made no thread (the system's text); empty after one that did.
    SystemError startFailure() const;
    void requestStop();
    bool stopRequested() const;
    // Requests the stop and waits until the body has returned; nothing when it never started.
    void stop();
    // True once the body has returned (the thread is then joined); a negative wait means no
    // limit.
    bool waitForEnd(std::chrono::milliseconds wait);
    // Started and the body has not returned yet.
    bool running() const { return running_; }
    bool isCurrentThread() const;

    // Runs on the thread that requests the stop, after the request; must not block.
    void setStopHook(std::function<void()> hook);

    // The wake-up event: set by wake(), taken by waitForWake().
    void wake();
    enum class Wake { Woken, TimedOut, Stopped };
    // Waits for the wake-up event (negative: no limit). A stop request wins over a wake-up.
    Wake waitForWake(std::chrono::milliseconds wait);
    // Sleeps for the pause; false when a stop was requested before or during it.
    bool pause(std::chrono::milliseconds wait);

private:
    void joinIfEnded();

    mutable std::mutex lock_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool woken_ = false;
    std::function<void()> stopHook_;
    std::stop_source source_;
    std::atomic<bool> running_{false};
    std::atomic<std::thread::id> id_{};
    mutable std::mutex threadLock_;  // the handle: start, stop and waitForEnd may race
    std::thread thread_;
    SystemError startFailure_;  // under threadLock_
};

// A worker's trace line (VELTRIX_TRACE=worker): "WORKER what", the worker named by its address.
void traceWorker(const void* worker, std::string_view what);

}  // namespace platform
