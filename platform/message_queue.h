// A thread-safe first-in first-out queue: commands go to a worker through one, reports come
// back through another. A consumer either waits on it (a worker, the command line) or is told
// by the notify function that something arrived and drains it on its own thread (a window's
// Qt bridge schedules a queued call from there, serial/ui/queue_drain.h).
//
// The notify function runs on the pushing thread with the queue's lock held, so once
// setNotify(nullptr) has returned it never runs again; it must not block or touch the queue.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

namespace platform {

template <class T>
class MessageQueue {
public:
    void setNotify(std::function<void()> notify) {
        std::lock_guard l(lock_);
        notify_ = std::move(notify);
    }

    void push(T item) {
        {
            std::lock_guard l(lock_);
            items_.push_back(std::move(item));
            if (notify_) notify_();
        }
        changed_.notify_all();
    }

    std::optional<T> tryPop() {
        std::lock_guard l(lock_);
        return takeLocked();
    }

    // Waits up to wait for an item; a negative wait means no limit.
    std::optional<T> waitPop(std::chrono::milliseconds wait) {
        std::unique_lock l(lock_);
        auto ready = [&] { return !items_.empty(); };
        if (wait.count() < 0)
            changed_.wait(l, ready);
        else
            changed_.wait_for(l, wait, ready);
        return takeLocked();
    }

    bool empty() const {
        std::lock_guard l(lock_);
        return items_.empty();
    }
    std::size_t size() const {
        std::lock_guard l(lock_);
        return items_.size();
    }
    void clear() {
        std::lock_guard l(lock_);
        items_.clear();
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

}  // namespace platform
