// What both components are built from: the event queue they push into, their small pictures,
// how their module's entry point makes them, and the integer arguments they take.
#pragma once

#include <strings.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/component.h"
#include "platform/component_host.h"

namespace fenwald {

// The queue a component's events go to. connect() comes from the host's thread, push() from
// the component's worker; while nothing is connected, events go nowhere. Never waits for the
// queue's consumer.
class EventSink {
public:
    void connect(platform::ComponentEventQueue* queue) {
        std::lock_guard l(lock_);
        queue_ = queue;
    }
    void push(int dispatchId, std::vector<platform::DispatchValue> arguments) {
        platform::ComponentEvent event{dispatchId, std::move(arguments)};
        // Traced here, as the host never sees a push.
        platform::traceComponentEvent(event);
        std::lock_guard l(lock_);
        if (queue_) queue_->push(std::move(event));
    }

private:
    std::mutex lock_;
    platform::ComponentEventQueue* queue_ = nullptr;
};

// An I2 or an I4 argument as a number; nothing for a string or no value.
inline std::optional<int> integerOf(const platform::DispatchValue& v) {
    if (auto i2 = platform::dispatchAs<std::int16_t>(v)) return *i2;
    if (auto i4 = platform::dispatchAs<std::int32_t>(v)) return *i4;
    return std::nullopt;
}

inline std::int16_t toI2(long long v) {
    return static_cast<std::int16_t>(v < INT16_MIN ? INT16_MIN : v > INT16_MAX ? INT16_MAX : v);
}

// Bytes embedded by fenwald_embed_file (cmake/FenwaldComponent.cmake).
struct EmbeddedFile {
    const std::uint8_t* data;
    std::size_t size;
};

// A component that reports through events and shows an embedded picture when idle and another
// when busy. What derives from it owns the worker that pushes into events_, and stops it in its
// own destructor, before events_ goes.
class ReportingComponent : public platform::Component {
public:
    void connectEvents(platform::ComponentEventQueue* queue) final { events_.connect(queue); }
    std::vector<std::uint8_t> picturePng(bool busy) const final {
        const EmbeddedFile& png = busy ? busy_ : idle_;
        return std::vector<std::uint8_t>(png.data, png.data + png.size);
    }

protected:
    ReportingComponent(EmbeddedFile idle, EmbeddedFile busy) : idle_(idle), busy_(busy) {}

    EventSink events_;

private:
    EmbeddedFile idle_;
    EmbeddedFile busy_;
};

// The module's entry point: a new T when classId is the one it serves (any letter case), else
// null.
template <class T>
platform::Component* createComponentFor(const char* classId, const char* served) {
    if (::strcasecmp(classId, served) != 0) return nullptr;
    return new T;
}

}  // namespace fenwald
