// A command worker owned by a component whose class has internal linkage, the shape that gcc 12
// at -O3 once compiled into a worker that ran nothing; and starts that fail.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "platform/command_worker.h"
#include "platform/component.h"
#include "tests/support/no_new_threads.h"

using namespace std::chrono_literals;

namespace {

struct Operation {
    int factor = 0;
};

// Doubles or multiplies: each operation ends with one event carrying its result, or with the
// reason its thread could not start.
class MultiplyingComponent final : public platform::Component {
public:
    MultiplyingComponent() { (void)worker_.start(); }
    ~MultiplyingComponent() override { worker_.stop(); }

    void connectEvents(platform::ComponentEventQueue* queue) override { queue_ = queue; }
    bool setProperty(int dispatchId, const platform::DispatchValue& value) override {
        auto v = platform::dispatchAs<std::int32_t>(value);
        if (dispatchId != 1 || !v) return false;
        base_ = *v;
        return true;
    }
    std::optional<platform::DispatchValue> invoke(
        int dispatchId, const std::vector<platform::DispatchValue>& arguments) override {
        auto factor =
            arguments.size() == 1 ? platform::dispatchAs<std::int32_t>(arguments[0]) : std::nullopt;
        if (dispatchId != 2 || !factor) return std::nullopt;
        if (!worker_.running() && !worker_.start()) {
            queue_->push({9, {"cannot start its thread: " + worker_.startFailure().text}});
            return platform::DispatchValue{};
        }
        worker_.post({*factor});
        return platform::DispatchValue{};
    }
    std::vector<std::uint8_t> picturePng(bool) const override { return {}; }

private:
    void onCommand(Operation& op) { queue_->push({1, {std::int32_t{base_ * op.factor}}}); }

    platform::ComponentEventQueue* queue_ = nullptr;
    std::atomic<std::int32_t> base_{0};
    platform::CommandWorker<Operation> worker_{[this](Operation& op) { onCommand(op); }};
};

}  // namespace

TEST(CommandWorker, AnInternalComponentOwningItsWorkerRunsItsOperations) {
    platform::ComponentEventQueue events;
    auto component = std::make_unique<MultiplyingComponent>();
    platform::Component& host = *component;  // called as the host calls it
    host.connectEvents(&events);
    ASSERT_TRUE(host.setProperty(1, std::int32_t{21}));
    ASSERT_TRUE(host.invoke(2, {std::int32_t{2}}));
    ASSERT_TRUE(host.invoke(2, {std::int32_t{-3}}));
    for (std::int32_t expected : {42, -63}) {
        auto event = events.waitPop(60s);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->dispatchId, 1);
        EXPECT_EQ(platform::dispatchAs<std::int32_t>(event->arguments.at(0)), expected);
    }
    component.reset();
    EXPECT_FALSE(events.tryPop());
}

TEST(CommandWorker, AStartThatFailsSaysWhyAndALaterOneRuns) {
    platform::ComponentEventQueue events;
    std::optional<MultiplyingComponent> component;
    {
        testenv::NoNewThreads none;
        if (!none.active()) GTEST_SKIP() << "the default thread attributes cannot be changed";
        component.emplace();
        component->connectEvents(&events);
        ASSERT_TRUE(component->setProperty(1, std::int32_t{5}));
        ASSERT_TRUE(component->invoke(2, {std::int32_t{3}}));
        auto event = events.tryPop();  // at once: nothing waits for a thread that is not there
        ASSERT_TRUE(event);
        EXPECT_EQ(event->dispatchId, 9);
        EXPECT_EQ(platform::dispatchAs<std::string>(event->arguments.at(0)),
                  "cannot start its thread: Resource temporarily unavailable");
    }
    ASSERT_TRUE(component->invoke(2, {std::int32_t{3}}));
    auto event = events.waitPop(60s);
    ASSERT_TRUE(event);
    EXPECT_EQ(platform::dispatchAs<std::int32_t>(event->arguments.at(0)), 15);
}

TEST(Worker, AStartThatMakesNoThreadReturnsFalseWithTheReason) {
    platform::Worker w;
    {
        testenv::NoNewThreads none;
        if (!none.active()) GTEST_SKIP() << "the default thread attributes cannot be changed";
        std::atomic<bool> ran{false};
        EXPECT_FALSE(w.start([&](std::stop_token) { ran = true; }));
        EXPECT_FALSE(w.running());
        EXPECT_EQ(w.startFailure().osCode, EAGAIN);
        EXPECT_FALSE(ran);
        w.stop();  // nothing to wait for
        EXPECT_TRUE(w.waitForEnd(-1ms));
    }
    std::atomic<bool> ran{false};
    ASSERT_TRUE(w.start([&](std::stop_token) { ran = true; }));
    EXPECT_TRUE(w.waitForEnd(-1ms));
    EXPECT_TRUE(ran);
    EXPECT_EQ(w.startFailure().osCode, 0);
}
