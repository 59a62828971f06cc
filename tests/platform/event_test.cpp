#include <gtest/gtest.h>

#include <thread>

#include "platform/event.h"

using namespace std::chrono_literals;
using platform::Event;

TEST(Event, StaysSetUntilResetAndWakesEveryWaiter) {
    Event e;
    EXPECT_FALSE(e.wait(10ms));
    std::thread a([&] { EXPECT_TRUE(e.wait(-1ms)); });
    std::thread b([&] { EXPECT_TRUE(e.wait(5000ms)); });
    e.set();
    a.join();
    b.join();
    EXPECT_TRUE(e.isSet());
    EXPECT_TRUE(e.wait(0ms));
    e.reset();
    EXPECT_FALSE(e.wait(0ms));
}

TEST(Event, WaitAnyNamesTheFirstSetEventOrTimesOut) {
    Event kill, picture;
    EXPECT_EQ(platform::waitAny({&kill, &picture}, 20ms), -1);
    std::thread t([&] {
        std::this_thread::sleep_for(20ms);
        picture.set();
    });
    EXPECT_EQ(platform::waitAny({&kill, &picture}, 5000ms), 1);
    t.join();
    kill.set();
    EXPECT_EQ(platform::waitAny({&kill, &picture}, 0ms), 0);
}

TEST(Event, EachEventKeepsItsOwnState) {
    // Two engines in one process must not wake each other's threads.
    Event first, second(true);
    EXPECT_FALSE(first.isSet());
    first.set();
    second.reset();
    EXPECT_TRUE(first.isSet());
    EXPECT_FALSE(second.isSet());
}

TEST(Event, WaitAnyWakesForASetThatComesWhileItIsStartingToWait) {
    // Without a time-out a wake-up lost between its look and its wait would hang for ever.
    for (int i = 0; i < 300; ++i) {
        Event kill, picture, other;
        int found = -2;
        std::thread waiter([&] { found = platform::waitAny({&kill, &picture}, -1ms); });
        std::thread noise([&] {
            other.set();  // an event nobody in waitAny watches
            other.reset();
        });
        picture.set();
        waiter.join();
        noise.join();
        ASSERT_EQ(found, 1) << i;
    }
}
