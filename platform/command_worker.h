// A worker thread with its own command queue: commands posted from any thread run one at a
// time, in order, on the worker's thread. The download tool's worker and the installer's
// components are built on it.
//
// A class that needs such a thread owns a CommandWorker and gives it the calls to make: the
// command handler, and optionally an idle call (when no command came within the idle wait)
// and an end call (on the worker's thread as its loop ends). It never derives from it: beside
// another base, the handler's call goes through a this-adjusting thunk, and gcc 12 at -O3
// compiled that call into nothing for a class with internal linkage.
//
// The calls usually reach the owner's other members, so the owner declares the worker last or
// calls stop() in its own destructor, before those members go away. A stop request ends the
// loop after the running command; the commands still queued are dropped. A command that waits
// long should watch stopRequested() or a cancel flag of its own. start() fails when no thread
// can be made; startFailure() says why, and the owner reports it instead of posting commands
// nobody runs.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "platform/message_queue.h"
#include "platform/trace.h"
#include "platform/worker.h"

namespace platform {

template <class Command>
class CommandWorker {
public:
    using Handler = std::function<void(Command&)>;
    using Call = std::function<void()>;

    explicit CommandWorker(Handler onCommand, Call onIdle = {}, Call onEnd = {})
        : onCommand_(std::move(onCommand)), onIdle_(std::move(onIdle)), onEnd_(std::move(onEnd)) {}
    // Stops the thread before the calls go; the owner stops it earlier when they use its members.
    ~CommandWorker() { stop(); }
    CommandWorker(const CommandWorker&) = delete;
    CommandWorker& operator=(const CommandWorker&) = delete;

    // A negative idle wait: no idle calls. False while the thread runs or when none can be made.
    [[nodiscard]] bool start(std::chrono::milliseconds idleWait = std::chrono::milliseconds(-1)) {
        if (worker_.running()) return false;
        queue_.clear();
        idleWait_ = idleWait;
        // An empty item wakes the loop's wait for the stop to be seen.
        worker_.setStopHook([this] { queue_.push(std::nullopt); });
        return worker_.start([this](std::stop_token token) { run(token); });
    }
    SystemError startFailure() const { return worker_.startFailure(); }
    // Waits until the running command has returned and the thread has ended.
    void stop() { worker_.stop(); }
    void requestStop() { worker_.requestStop(); }
    bool running() const { return worker_.running(); }
    bool stopRequested() const { return worker_.stopRequested(); }
    bool onWorkerThread() const { return worker_.isCurrentThread(); }

    void post(Command command) { queue_.push(std::move(command)); }

private:
    void run(std::stop_token token) {
        while (!token.stop_requested()) {
            auto item = queue_.waitPop(idleWait_);
            if (token.stop_requested()) break;
            if (!item) {
                if (onIdle_) onIdle_();
            } else if (*item) {
                const bool traced = trace::enabled(trace::Kind::Worker);
                const unsigned long number = ++commandsTaken_;
                if (traced)
                    traceWorker(&worker_, "command " + std::to_string(number) + " taken, " +
                                              std::to_string(queue_.size()) + " queued");
                onCommand_(**item);
                if (traced) traceWorker(&worker_, "command " + std::to_string(number) + " done");
            }
        }
        if (onEnd_) onEnd_();
    }

    const Handler onCommand_;
    const Call onIdle_;
    const Call onEnd_;
    std::chrono::milliseconds idleWait_{-1};
    unsigned long commandsTaken_ = 0;  // the worker's thread only; numbers the trace lines
    MessageQueue<std::optional<Command>> queue_;
    Worker worker_;  // last: stops before the queue and the calls go away
};

}  // namespace platform
