#include "platform/event.h"

#include <condition_variable>
#include <mutex>

namespace platform {

struct Event::State {
    bool signalled = false;
};

namespace {

// One lock and condition for all events: events change rarely, and one condition is what
// lets a single waiter watch several events at once.
std::mutex& lock() {
    static std::mutex m;
    return m;
}
std::condition_variable& changed() {
    static std::condition_variable cv;
    return cv;
}
template <class Pred>
bool waitFor(std::unique_lock<std::mutex>& l, std::chrono::milliseconds wait, Pred pred) {
    if (wait.count() < 0) {
        changed().wait(l, pred);
        return true;
    }
    return changed().wait_for(l, wait, pred);
}

}  // namespace

Event::Event(bool initiallySet) : state_(std::make_shared<State>()) {
    state_->signalled = initiallySet;
}

Event::~Event() = default;

void Event::set() {
    {
        std::lock_guard l(lock());
        state_->signalled = true;
    }
    changed().notify_all();
}

void Event::reset() {
    std::lock_guard l(lock());
    state_->signalled = false;
}

bool Event::isSet() const {
    std::lock_guard l(lock());
    return state_->signalled;
}

bool Event::wait(std::chrono::milliseconds wait) const {
    std::unique_lock l(lock());
    return waitFor(l, wait, [&] { return state_->signalled; });
}

int waitAny(std::initializer_list<const Event*> events, std::chrono::milliseconds wait) {
    std::unique_lock l(lock());
    int found = -1;
    auto pred = [&] {
        int i = 0;
        for (const Event* e : events) {
            if (e->state_->signalled) {
                found = i;
                return true;
            }
            ++i;
        }
        return false;
    };
    waitFor(l, wait, pred);
    return found;
}

}  // namespace platform
