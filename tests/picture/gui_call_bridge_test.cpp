#include <QThread>
#include <atomic>
#include <thread>

#include "picture/ui/gui_call_bridge.h"
#include "tests/picture/picture_ui_test_support.h"

using pictavo::GuiCallBridge;
using uitest::Eventually;

namespace {
struct Bridge : ::testing::Test {
    static void SetUpTestSuite() { uitest::EnsureApplication(); }
};
}  // namespace

TEST_F(Bridge, AnotherThreadsCallRunsOnTheGuiThreadAndWaitsForIt) {
    GuiCallBridge bridge;
    std::atomic<bool> returned{false};
    QThread* ranOn = nullptr;
    bool inCallDuring = false;
    bool result = false;
    std::thread worker([&] {
        result = bridge.Call([&] {
            ranOn = QThread::currentThread();
            inCallDuring = bridge.InCall();
        });
        returned = true;
    });
    ASSERT_TRUE(Eventually([&] { return returned.load(); }));
    worker.join();
    EXPECT_TRUE(result);
    EXPECT_EQ(ranOn, QThread::currentThread());
    EXPECT_TRUE(inCallDuring);
    EXPECT_FALSE(bridge.InCall());
}

TEST_F(Bridge, WhileTheGuiThreadRefusesItCanWaitForTheCallerWithoutDeadlock) {
    GuiCallBridge bridge;
    bool ran = false, result = true;
    {
        GuiCallBridge::Refusal refusal(bridge);
        // Queued before or after the refusal began, the call is released unrun, so joining
        // the caller (as destroying the engine joins the capture thread) returns.
        std::thread worker([&] { result = bridge.Call([&] { ran = true; }); });
        worker.join();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(result);
    EXPECT_FALSE(ran);

    // After the refusal calls run again.
    std::atomic<bool> done{false};
    std::thread again([&] {
        result = bridge.Call([&] { ran = true; });
        done = true;
    });
    ASSERT_TRUE(Eventually([&] { return done.load(); }));
    again.join();
    EXPECT_TRUE(result);
    EXPECT_TRUE(ran);
}

TEST_F(Bridge, ACallQueuedBeforeCloseIsReleasedAndNeverRuns) {
    auto bridge = std::make_unique<GuiCallBridge>();
    std::atomic<bool> ran{false}, queued{false};
    bool result = true;
    std::thread worker([&] {
        queued = true;
        result = bridge->Call([&] { ran = true; });
    });
    // Give the call a chance to be posted; no events are processed, so it cannot run.
    while (!queued) std::this_thread::yield();
    bridge->Close();
    worker.join();
    EXPECT_FALSE(result);
    bridge.reset();  // its posted call dies with it
    QCoreApplication::processEvents();
    EXPECT_FALSE(ran);
}

TEST_F(Bridge, OnTheGuiThreadACallRunsAtOnceEvenWhenClosed) {
    GuiCallBridge bridge;
    int runs = 0;
    EXPECT_TRUE(bridge.Call([&] { ++runs; }));
    bridge.Close();
    EXPECT_TRUE(bridge.Call([&] { ++runs; }));
    EXPECT_EQ(runs, 2);
}
