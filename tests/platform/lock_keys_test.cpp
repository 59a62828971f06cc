#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/lock_keys.h"
#include "tests/support/x_server.h"

using platform::LockKey;

TEST(LockKeys, WithoutADisplayTheyAreUnavailable) {
    ::unsetenv("DISPLAY");
    auto keys = platform::systemLockKeys();
    EXPECT_FALSE(keys->available());
    EXPECT_FALSE(keys->press(LockKey::NumLock));
    EXPECT_FALSE(keys->state(LockKey::CapsLock));
}

TEST(LockKeys, APressTogglesTheIndicatorOnARealXServer) {
    testenv::PrivateXServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start (scripts/setup.sh installs it)";
    ::setenv("DISPLAY", x.display().c_str(), 1);
    // A freshly started server may still be setting up its keyboard for a moment.
    auto keys = platform::systemLockKeys();
    for (int i = 0; i < 50 && !(keys->available() && keys->state(LockKey::NumLock)); ++i) {
        ::usleep(100000);
        keys = platform::systemLockKeys();
    }
    ASSERT_TRUE(keys->available());
    for (LockKey key : {LockKey::NumLock, LockKey::CapsLock}) {
        auto before = keys->state(key);
        ASSERT_TRUE(before);
        ASSERT_TRUE(keys->press(key));
        EXPECT_EQ(keys->state(key), !*before);
        ASSERT_TRUE(keys->press(key));
        EXPECT_EQ(keys->state(key), *before);
    }
}
