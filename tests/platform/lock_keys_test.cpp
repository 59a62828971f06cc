#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/lock_keys.h"

using platform::LockKey;

namespace {

// A private X server for the test's life; its display number comes back through a pipe.
class PrivateXServer {
public:
    PrivateXServer() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset", nullptr);
            ::_exit(127);
        }
        ::close(fds[1]);
        char buf[16] = {};
        ssize_t n = ::read(fds[0], buf, sizeof buf - 1);
        ::close(fds[0]);
        if (n > 0) display_ = ":" + std::string(buf, static_cast<std::size_t>(n - (buf[n - 1] == '\n')));
    }
    ~PrivateXServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    const std::string& display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

}  // namespace

TEST(LockKeys, WithoutADisplayTheyAreUnavailable) {
    ::unsetenv("DISPLAY");
    auto keys = platform::systemLockKeys();
    EXPECT_FALSE(keys->available());
    EXPECT_FALSE(keys->press(LockKey::NumLock));
    EXPECT_FALSE(keys->state(LockKey::CapsLock));
}

TEST(LockKeys, APressTogglesTheIndicatorOnARealXServer) {
    PrivateXServer x;
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
