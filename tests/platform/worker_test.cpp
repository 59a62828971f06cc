#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/message_queue.h"
#include "platform/worker.h"

using namespace std::chrono_literals;
using platform::Worker;

TEST(Worker, AStopRequestEndsPausesAndWaitsAtOnce) {
    Worker w;
    std::atomic<int> pausesCut{0};
    std::atomic<bool> stopSeen{false};
    ASSERT_TRUE(w.start([&](std::stop_token token) {
        if (!w.pause(60s)) ++pausesCut;
        if (w.waitForWake(-1ms) == Worker::Wake::Stopped) ++pausesCut;
        stopSeen = token.stop_requested();
    }));
    EXPECT_TRUE(w.running());
    EXPECT_FALSE(w.waitForEnd(20ms));
    w.stop();
    EXPECT_FALSE(w.running());
    EXPECT_EQ(pausesCut, 2);
    EXPECT_TRUE(stopSeen);
}

TEST(Worker, AWakeUpIsTakenOnceAndAStopWinsOverIt) {
    Worker w;
    std::atomic<int> step{0};
    std::vector<Worker::Wake> seen;
    ASSERT_TRUE(w.start([&](std::stop_token) {
        seen.push_back(w.waitForWake(-1ms));
        seen.push_back(w.waitForWake(10ms));  // the wake-up was taken
        step = 1;
        while (!w.stopRequested()) std::this_thread::sleep_for(1ms);
        seen.push_back(w.waitForWake(0ms));
    }));
    w.wake();
    while (step == 0) std::this_thread::sleep_for(1ms);
    w.wake();
    w.stop();
    EXPECT_EQ(seen, (std::vector<Worker::Wake>{Worker::Wake::Woken, Worker::Wake::TimedOut,
                                               Worker::Wake::Stopped}));
}

TEST(Worker, TheStopHookWakesAWaitOfItsOwnAndAWorkerRunsAgainAfterItEnded) {
    Worker w;
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    w.setStopHook([&] {
        std::lock_guard l(m);
        released = true;
        cv.notify_all();
    });
    int runs = 0;
    for (int round = 0; round < 2; ++round) {
        released = false;
        ASSERT_TRUE(w.start([&](std::stop_token) {
            std::unique_lock l(m);
            cv.wait(l, [&] { return released; });
            ++runs;
        }));
        EXPECT_FALSE(w.start([](std::stop_token) {})) << "a second body while the first runs";
        w.stop();
    }
    EXPECT_EQ(runs, 2);
}

TEST(Worker, StoppingFromItsOwnThreadOnlyAsks) {
    Worker w;
    ASSERT_TRUE(w.start([&](std::stop_token) {
        w.stop();  // must not wait for itself
        EXPECT_TRUE(w.stopRequested());
        EXPECT_FALSE(w.waitForEnd(0ms));
    }));
    EXPECT_TRUE(w.waitForEnd(10s));
}

TEST(MessageQueue, NotifyRunsForEachPushAndNeverAfterItIsCleared) {
    platform::MessageQueue<int> q;
    std::atomic<int> notified{0};
    q.setNotify([&] { ++notified; });
    std::thread producer([&] {
        for (int i = 0; i < 1000; ++i) q.push(i);
    });
    producer.join();
    q.setNotify(nullptr);
    q.push(1000);
    EXPECT_EQ(notified, 1000);
    for (int i = 0; i <= 1000; ++i) ASSERT_EQ(q.tryPop(), i);
    EXPECT_FALSE(q.waitPop(5ms));
}
