// Ctrl+C and SIGTERM in both modes. Each case installs its handlers in a child process, so
// the test program keeps its own.
#include <gtest/gtest.h>
#include <poll.h>

#include <csignal>
#include <cstdlib>

#include "platform/console.h"

using platform::catchInterrupts;
using platform::InterruptMode;

TEST(Interrupts, CancelModeSetsTheFlagForCtrlCAndSigtermAndKeepsRunning) {
    EXPECT_EXIT(
        {
            const auto& flag = catchInterrupts(InterruptMode::Cancel);
            if (flag) std::_Exit(3);
            std::raise(SIGTERM);
            if (!flag) std::_Exit(4);
            std::raise(SIGINT);
            std::raise(SIGINT);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

namespace {

bool woken() {
    pollfd p{};
    p.fd = platform::interruptDescriptor();
    p.events = POLLIN;
    return ::poll(&p, 1, 0) == 1;
}

}  // namespace

// A window's event loop learns of each signal from the descriptor, not by watching the flag.
TEST(Interrupts, EverySignalThatSetsTheFlagWakesTheDescriptor) {
    EXPECT_EXIT(
        {
            if (platform::interruptDescriptor() != -1) std::_Exit(2);
            catchInterrupts(InterruptMode::Cancel);
            if (platform::interruptDescriptor() < 0 || woken()) std::_Exit(3);
            std::raise(SIGTERM);
            if (!woken()) std::_Exit(4);
            platform::takeInterruptWakeups();
            if (woken()) std::_Exit(5);
            std::raise(SIGHUP);
            std::raise(SIGINT);
            if (!woken()) std::_Exit(6);
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(Interrupts, CancelThenEndLetsTheSecondCtrlCEndTheProgram) {
    EXPECT_EXIT(
        {
            const auto& flag = catchInterrupts(InterruptMode::CancelThenEnd);
            std::raise(SIGINT);
            if (!flag) std::_Exit(4);
            std::raise(SIGINT);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGINT), "");
    EXPECT_EXIT(
        {
            catchInterrupts(InterruptMode::CancelThenEnd);
            std::raise(SIGTERM);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGTERM), "");
}

TEST(Interrupts, CancelAnyThenEndTakesTheFirstSignalOfEachKindAsACancel) {
    for (int first : {SIGINT, SIGTERM, SIGHUP}) {
        EXPECT_EXIT(
            {
                const auto& flag = catchInterrupts(InterruptMode::CancelAnyThenEnd);
                if (platform::interruptingSignal() != 0) std::_Exit(3);
                std::raise(first);
                if (!flag || platform::interruptingSignal() != first) std::_Exit(4);
                std::raise(SIGHUP);  // a second one, whichever, ends it
                std::_Exit(0);
            },
            testing::KilledBySignal(SIGHUP), "")
            << "first " << first;
    }
    // Without this mode, SIGHUP ends the program after its clean-up, as SIGTERM does.
    EXPECT_EXIT(
        {
            catchInterrupts(InterruptMode::CancelThenEnd);
            std::raise(SIGHUP);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGHUP), "");
}
