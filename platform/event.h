// Manual-reset events: once set, an event stays set until reset, and every waiter wakes. Each
// event is its own: an engine keeps its events as members, so two engines never share one.
// All calls are thread-safe.
#pragma once

#include <chrono>
#include <initializer_list>
#include <memory>

namespace platform {

class Event {
public:
    explicit Event(bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    bool isSet() const;
    // True when the event is set within the wait; a negative wait means no limit.
    bool wait(std::chrono::milliseconds wait) const;

    struct State;

private:
    friend int waitAny(std::initializer_list<const Event*>, std::chrono::milliseconds);
    std::shared_ptr<State> state_;
};

// Index of the first of the events that is set, waiting until one is or the wait ends;
// -1 on time-out. A negative wait means no limit.
int waitAny(std::initializer_list<const Event*> events, std::chrono::milliseconds wait);

}  // namespace platform
