#include "platform/worker.h"

#include "platform/precise_time.h"
#include "platform/trace.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace platform {

void traceWorker(const void* worker, std::string_view what) {
    char name[40];
    std::snprintf(name, sizeof name, "%p ", worker);
    trace::write(trace::Kind::Worker, name + std::string(what));
}

Worker::~Worker() {
    stop();
}

bool Worker::start(Body body, bool woken) {
    std::lock_guard t(threadLock_);
    if (running_) {
        startFailure_ = SystemError::fromCode(EBUSY, "the thread still runs");
        return false;
    }
    startFailure_ = {};
    if (thread_.joinable()) thread_.join();
    std::stop_token token;
    {
        std::lock_guard l(lock_);
        stop_ = false;
        woken_ = woken;
        source_ = std::stop_source();
        token = source_.get_token();
    }
    running_ = true;
    try {
        thread_ = std::thread([this, body = std::move(body), token] {
            id_ = std::this_thread::get_id();
            // Workers run the line exchanges, whose waits are a few milliseconds each.
            useFineTimerSlack();
            if (trace::enabled(trace::Kind::Worker)) traceWorker(this, "start");
            body(token);
            if (trace::enabled(trace::Kind::Worker)) traceWorker(this, "end");
            {
                std::lock_guard l(lock_);
                running_ = false;
            }
            changed_.notify_all();
        });
    } catch (const std::system_error& e) {
        running_ = false;
        startFailure_ = SystemError::fromCode(e.code().value());
        if (trace::enabled(trace::Kind::Worker))
            traceWorker(this, "start failed: " + startFailure_.text);
        return false;
    }
    return true;
}

SystemError Worker::startFailure() const {
    std::lock_guard t(threadLock_);
    return startFailure_;
}

void Worker::requestStop() {
    std::function<void()> hook;
    {
        std::lock_guard l(lock_);
        if (!stop_ && running_ && trace::enabled(trace::Kind::Worker))
            traceWorker(this, "stop requested");
        stop_ = true;
        source_.request_stop();
        hook = stopHook_;
    }
    changed_.notify_all();
    if (hook) hook();
}

bool Worker::stopRequested() const {
    std::lock_guard l(lock_);
    return stop_;
}

void Worker::stop() {
    requestStop();
    if (isCurrentThread()) return;
    std::lock_guard t(threadLock_);
    if (thread_.joinable()) thread_.join();
}

bool Worker::waitForEnd(std::chrono::milliseconds wait) {
    if (isCurrentThread()) return false;
    {
        std::unique_lock l(lock_);
        auto ended = [&] { return !running_; };
        if (wait.count() < 0)
            changed_.wait(l, ended);
        else if (!changed_.wait_for(l, wait, ended))
            return false;
    }
    std::lock_guard t(threadLock_);
    if (thread_.joinable()) thread_.join();
    return true;
}

bool Worker::isCurrentThread() const {
    return running_ && id_.load() == std::this_thread::get_id();
}

void Worker::setStopHook(std::function<void()> hook) {
    std::lock_guard l(lock_);
    stopHook_ = std::move(hook);
}

void Worker::wake() {
    {
        std::lock_guard l(lock_);
        woken_ = true;
    }
    changed_.notify_all();
}

Worker::Wake Worker::waitForWake(std::chrono::milliseconds wait) {
    std::unique_lock l(lock_);
    auto ready = [&] { return stop_ || woken_; };
    if (wait.count() < 0)
        changed_.wait(l, ready);
    else
        changed_.wait_for(l, wait, ready);
    if (stop_) return Wake::Stopped;
    if (!woken_) return Wake::TimedOut;
    woken_ = false;
    return Wake::Woken;
}

bool Worker::pause(std::chrono::milliseconds wait) {
    std::unique_lock l(lock_);
    changed_.wait_for(l, wait, [&] { return stop_; });
    return !stop_;
}

}  // namespace platform
