#include "platform/event.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// One waitAny call: the events it watches wake it through this.
struct Waiter {
    std::mutex lock;
    std::condition_variable changed;
    bool woken = false;
};

using Clock = std::chrono::steady_clock;

}  // namespace

// Each event has its own lock and condition; waitAny registers a waiter with every event it
// watches, so a set() wakes the waiters of that event only.
struct Event::State {
    mutable std::mutex lock;
    mutable std::condition_variable changed;
    bool signalled = false;
    std::vector<Waiter*> waiters;  // under lock
};

Event::Event(bool initiallySet) : state_(std::make_shared<State>()) {
    state_->signalled = initiallySet;
}

Event::~Event() = default;

void Event::set() {
    std::lock_guard l(state_->lock);
    state_->signalled = true;
    // Under the event's lock: a waiter unregisters under it before it goes away.
    for (Waiter* w : state_->waiters) {
        {
            std::lock_guard wl(w->lock);
            w->woken = true;
        }
        w->changed.notify_all();
    }
    state_->changed.notify_all();
}

void Event::reset() {
    std::lock_guard l(state_->lock);
    state_->signalled = false;
}

bool Event::isSet() const {
    std::lock_guard l(state_->lock);
    return state_->signalled;
}

bool Event::wait(std::chrono::milliseconds wait) const {
    std::unique_lock l(state_->lock);
    auto set = [&] { return state_->signalled; };
    if (wait.count() < 0) {
        state_->changed.wait(l, set);
        return true;
    }
    return state_->changed.wait_for(l, wait, set);
}

int waitAny(std::initializer_list<const Event*> events, std::chrono::milliseconds wait) {
    const auto until = Clock::now() + std::max(wait, std::chrono::milliseconds(0));
    Waiter waiter;
    for (const Event* e : events) {
        std::lock_guard l(e->state_->lock);
        e->state_->waiters.push_back(&waiter);
    }
    int found = -1;
    for (;;) {
        // Registered first, so a set() after this look wakes the wait below.
        int i = 0;
        for (const Event* e : events) {
            if (e->isSet()) {
                found = i;
                break;
            }
            ++i;
        }
        if (found >= 0) break;
        std::unique_lock wl(waiter.lock);
        auto woken = [&] { return waiter.woken; };
        if (wait.count() < 0)
            waiter.changed.wait(wl, woken);
        else if (!waiter.changed.wait_until(wl, until, woken))
            break;
        waiter.woken = false;
    }
    for (const Event* e : events) {
        std::lock_guard l(e->state_->lock);
        auto& ws = e->state_->waiters;
        ws.erase(std::find(ws.begin(), ws.end(), &waiter));
    }
    return found;
}

}  // namespace platform
