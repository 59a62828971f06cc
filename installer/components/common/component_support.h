// What both components are built from: the event queue they push into, the integer
// arguments they take, and their small pictures.
#pragma once

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

inline std::vector<std::uint8_t> bytesOf(const std::uint8_t* data, std::size_t size) {
    return std::vector<std::uint8_t>(data, data + size);
}

}  // namespace fenwald
