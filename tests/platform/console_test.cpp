// Ctrl+C and SIGTERM in both modes. Each case installs its handlers in a child process, so
// the test program keeps its own.
#include <gtest/gtest.h>

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
