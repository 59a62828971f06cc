// A worker thread with its own command queue: commands posted from any thread run one at a
// time, in order, on the worker's thread. The download tool's worker and the installer's
// components are built on it.
//
// A subclass implements onCommand() (and onIdle(), called when no command came within the
// idle wait) and calls stop() in its own destructor, so the thread has ended before the
// subclass's members go away. A stop request ends the loop after the running command; the
// commands still queued are dropped. A command that waits long should watch stopRequested()
// or a cancel flag of its own.
#pragma once

#include <chrono>
#include <optional>
#include <utility>

#include "platform/message_queue.h"
#include "platform/worker.h"

namespace platform {

template <class Command>
class CommandWorker {
public:
    CommandWorker() = default;
    virtual ~CommandWorker() { stop(); }
    CommandWorker(const CommandWorker&) = delete;
    CommandWorker& operator=(const CommandWorker&) = delete;

    // A negative idle wait: no idle calls.
    bool start(std::chrono::milliseconds idleWait = std::chrono::milliseconds(-1)) {
        if (worker_.running()) return false;
        queue_.clear();
        idleWait_ = idleWait;
        // An empty item wakes the loop's wait for the stop to be seen.
        worker_.setStopHook([this] { queue_.push(std::nullopt); });
        return worker_.start([this](std::stop_token token) { run(token); });
    }
    // Waits until the running command has returned and the thread has ended.
    void stop() { worker_.stop(); }
    void requestStop() { worker_.requestStop(); }
    bool running() const { return worker_.running(); }
    bool stopRequested() const { return worker_.stopRequested(); }
    bool onWorkerThread() const { return worker_.isCurrentThread(); }

    void post(Command command) { queue_.push(std::move(command)); }

protected:
    virtual void onCommand(Command& command) = 0;
    virtual void onIdle() {}
    // Runs on the worker's thread as its loop ends.
    virtual void onEnd() {}

private:
    void run(std::stop_token token) {
        while (!token.stop_requested()) {
            auto item = queue_.waitPop(idleWait_);
            if (token.stop_requested()) break;
            if (!item)
                onIdle();
            else if (*item)
                onCommand(**item);
        }
        onEnd();
    }

    std::chrono::milliseconds idleWait_{-1};
    MessageQueue<std::optional<Command>> queue_;
    Worker worker_;  // last: stops before the queue goes away
};

}  // namespace platform
