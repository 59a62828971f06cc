// A component module for the host's tests: one class with a property, a method with a result
// and a method whose work runs on a thread of its own and reports through events.
//
//   property 1  I4      the count
//   method 2    I4 -> I4  the argument times the count
//   method 3    string  pushes event 1 (I2 step, string text) once for each step up to the
//                       count, from the component's worker thread, then event 2 (no arguments)
//
// Registered under the loader's class ID it is a loader that hangs: it takes every property and
// method, Cancel too, and never reports, for the windows that must not wait on it for ever.
#include <strings.h>

#include "platform/component.h"
#include "platform/worker.h"

namespace {

constexpr const char* kClassId = "{6B0E5C1A-3F2D-4E7B-9A18-C4D2E0F1A357}";

bool sameClassId(const char* a, const char* b) {
    return ::strcasecmp(a, b) == 0;
}

class CountingComponent : public platform::Component {
public:
    ~CountingComponent() override { worker_.stop(); }

    void connectEvents(platform::ComponentEventQueue* queue) override { queue_ = queue; }

    bool setProperty(int dispatchId, const platform::DispatchValue& value) override {
        const auto count = platform::dispatchAs<std::int32_t>(value);
        if (dispatchId != 1 || !count) return false;
        count_ = *count;
        return true;
    }

    std::optional<platform::DispatchValue> invoke(
        int dispatchId, const std::vector<platform::DispatchValue>& arguments) override {
        if (dispatchId == 2 && arguments.size() == 1) {
            const auto factor = platform::dispatchAs<std::int32_t>(arguments[0]);
            if (!factor) return std::nullopt;
            return platform::DispatchValue(std::int32_t{*factor * count_});
        }
        if (dispatchId == 3 && arguments.size() == 1) {
            const auto text = platform::dispatchAs<std::string>(arguments[0]);
            if (!text || !queue_) return std::nullopt;
            platform::ComponentEventQueue* queue = queue_;
            const int count = count_;
            worker_.stop();
            const bool started = worker_.start([queue, count, text = *text](std::stop_token stop) {
                for (int step = 1; step <= count && !stop.stop_requested(); ++step)
                    queue->push({1, {std::int16_t(step), text}});
                queue->push({2, {}});
            });
            if (!started) return std::nullopt;
            return platform::DispatchValue{};
        }
        return std::nullopt;
    }

    std::vector<std::uint8_t> picturePng(bool busy) const override {
        return busy ? std::vector<std::uint8_t>{1} : std::vector<std::uint8_t>{};
    }

private:
    platform::ComponentEventQueue* queue_ = nullptr;
    std::int32_t count_ = 0;
    platform::Worker worker_;  // last: stops before the rest goes
};

constexpr const char* kLoaderClassId = "{E91B52ED-8E44-11D5-8369-8555C730F863}";

class HungLoader : public platform::Component {
public:
    void connectEvents(platform::ComponentEventQueue*) override {}
    bool setProperty(int, const platform::DispatchValue&) override { return true; }
    std::optional<platform::DispatchValue> invoke(
        int, const std::vector<platform::DispatchValue>&) override {
        return platform::DispatchValue{};
    }
    std::vector<std::uint8_t> picturePng(bool) const override { return {}; }
};

}  // namespace

extern "C" platform::Component* veltrixCreateComponent(const char* classId) {
    if (sameClassId(classId, kLoaderClassId)) return new HungLoader;
    return sameClassId(classId, kClassId) ? new CountingComponent : nullptr;
}
