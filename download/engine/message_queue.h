// A thread-safe first-in first-out queue: commands go to the worker through one, reports come
// back through another. A consumer either waits on it (the worker, the command line) or is
// told by the notify function that something arrived and drains it on its own thread (a
// window schedules a queued call from there).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace kolvane {

template <class T>
class MessageQueue {
public:
    // Called on the pushing thread after each push; must not block.
    void setNotify(std::function<void()> notify) {
        std::lock_guard l(lock_);
        notify_ = std::move(notify);
    }

    void push(T item) {
        std::function<void()> notify;
        {
            std::lock_guard l(lock_);
            items_.push_back(std::move(item));
            notify = notify_;
        }
        changed_.notify_all();
        if (notify) notify();
    }

    std::optional<T> tryPop() {
        std::lock_guard l(lock_);
        return takeLocked();
    }

    // Waits up to wait for an item; a negative wait means no limit.
    std::optional<T> waitPop(std::chrono::milliseconds wait) {
        std::unique_lock l(lock_);
        auto ready = [&] { return !items_.empty(); };
        if (wait.count() < 0) changed_.wait(l, ready);
        else changed_.wait_for(l, wait, ready);
        return takeLocked();
    }

    bool empty() const {
        std::lock_guard l(lock_);
        return items_.empty();
    }

private:
    std::optional<T> takeLocked() {
        if (items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        return item;
    }

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<T> items_;
    std::function<void()> notify_;
};

}  // namespace kolvane
