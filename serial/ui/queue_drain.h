// The one way a worker thread hands things to a window: the worker pushes into a
// platform::MessageQueue (reports, bytes for the terminal) and never waits; the window's
// thread takes them out in a queued call.
//
// GuiWakeup runs a function on the thread that made it (the GUI thread) after wake() from any
// thread; wake-ups that come before that run are one, and a delay gathers a fast producer's
// pieces into batches (the terminal draws every 20 ms). QueueDrain<T> hands every item of a
// queue to a handler on the GUI thread, in order.
//
// Lifetime: whatever calls wake() must have stopped before the GuiWakeup goes away. QueueDrain
// detaches from its queue when it is destroyed; from then on the worker may go on pushing.
// A handler may run a nested event loop (a message box): a drain that starts inside it goes
// on with the items after, and each item is handed out once.
#pragma once

#include <QObject>
#include <QTimer>
#include <atomic>
#include <functional>
#include <utility>

#include "platform/coalesced_wake.h"
#include "platform/message_queue.h"

namespace serial::ui {

class GuiWakeup {
public:
    explicit GuiWakeup(std::function<void()> run, int delayMs = 0);
    ~GuiWakeup();
    GuiWakeup(const GuiWakeup&) = delete;
    GuiWakeup& operator=(const GuiWakeup&) = delete;

    // Any thread.
    void wake();

private:
    void fire();

    std::function<void()> run_;
    QObject receiver_;  // queued calls go to its thread and die with it
    QTimer delay_;
    platform::CoalescedWake wake_;
};

template <class T>
class QueueDrain {
public:
    QueueDrain(platform::MessageQueue<T>& queue, std::function<void(T&)> handler)
        : queue_(queue), handler_(std::move(handler)), wakeup_([this] { drain(); }) {
        queue_.setNotify([this] { wakeup_.wake(); });
        wakeup_.wake();  // what came before the drain existed
    }
    ~QueueDrain() { detach(); }
    QueueDrain(const QueueDrain&) = delete;
    QueueDrain& operator=(const QueueDrain&) = delete;

    // Stops taking items; those queued stay in the queue. GUI thread.
    void detach() {
        if (!attached_) return;
        attached_ = false;
        queue_.setNotify(nullptr);
    }
    // Hands over every item queued now. GUI thread.
    void drain() {
        while (attached_) {
            auto item = queue_.tryPop();
            if (!item) break;
            handler_(*item);
        }
    }

private:
    platform::MessageQueue<T>& queue_;
    std::function<void(T&)> handler_;
    bool attached_ = true;
    GuiWakeup wakeup_;
};

}  // namespace serial::ui
