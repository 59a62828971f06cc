#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "installer/engine/hid_configuration.h"

using namespace fenwald;
using platform::LockKey;
using platform::RecordingLockKeys;

namespace {

using Journal = std::vector<std::string>;

// The lock keys of a keyboard that has none to offer.
struct NoLockKeys final : platform::LockKeys {
    bool available() const override { return false; }
    bool press(LockKey) override {
        ++presses;
        return false;
    }
    std::optional<bool> state(LockKey) override { return std::nullopt; }
    int presses = 0;
};

struct HidSend : ::testing::Test {
    RecordingLockKeys keys;
    HidConfigurationOptions options;
    void SetUp() override {
        // The waits go into the same journal as the presses, in order.
        options.pause = [this](std::chrono::milliseconds ms) {
            keys.journal.push_back("wait " + std::to_string(ms.count()));
        };
    }
    bool& on(LockKey key) { return keys.states[static_cast<int>(key)]; }
};

// What the scanner reads: at every rising edge of Scroll Lock, Caps Lock and Num Lock are the
// next two bits, most significant first.
std::string decode(const Journal& journal, bool caps, bool num, bool scroll) {
    std::string bytes;
    unsigned bits = 0, count = 0;
    for (const std::string& step : journal) {
        if (step == "CapsLock") caps = !caps;
        if (step == "NumLock") num = !num;
        if (step != "ScrollLock") continue;
        scroll = !scroll;
        if (!scroll) continue;
        bits = bits << 2 | unsigned(caps) << 1 | unsigned(num);
        if ((count += 2) == 8) {
            bytes += static_cast<char>(bits);
            bits = count = 0;
        }
    }
    return bytes;
}

const Journal kPulse = {"wait 100", "ScrollLock", "wait 100", "ScrollLock"};

Journal concat(std::initializer_list<Journal> parts) {
    Journal all;
    for (const Journal& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

}  // namespace

TEST_F(HidSend, TheByte41GoesAsFourPairsOfCapsAndNumClockedByScrollLock) {
    // Pairs (0,1) (0,0) (0,0) (0,1) of 0x41, as the first byte after ESC; ESC 0x1B is (0,0)
    // (0,1) (1,0) (1,1) and leaves Caps and Num on.
    ASSERT_EQ(SendConfigurationHid(keys, "A", false, options).outcome, HidOutcome::Sent);
    const Journal esc =
        concat({kPulse, {"NumLock"}, kPulse, {"CapsLock", "NumLock"}, kPulse, {"NumLock"}, kPulse});
    const Journal a =
        concat({{"CapsLock"}, kPulse, {"NumLock"}, kPulse, kPulse, {"NumLock"}, kPulse});
    const Journal journal(keys.journal.begin(), keys.journal.begin() + long(esc.size() + a.size()));
    EXPECT_EQ(journal, concat({esc, a}));
    EXPECT_EQ(decode(keys.journal, false, false, false),
              "\x1B"
              "A\r");
}

TEST_F(HidSend, LocksThatAreOnAreSwitchedOffFirstAndRestoredAfterwards) {
    on(LockKey::NumLock) = true;
    on(LockKey::ScrollLock) = true;
    auto result = SendConfigurationHid(keys, "ABC", true, options);
    EXPECT_EQ(result.outcome, HidOutcome::Sent);
    EXPECT_EQ(result.bytesSent, 7u);
    EXPECT_FALSE(result.message);
    ASSERT_GE(keys.journal.size(), 2u);
    EXPECT_EQ(Journal(keys.journal.begin(), keys.journal.begin() + 2),
              (Journal{"NumLock", "ScrollLock"}));
    EXPECT_EQ(decode(Journal(keys.journal.begin() + 2, keys.journal.end()), false, false, false),
              "\x1B"
              "ABCZ2\r");
    EXPECT_TRUE(on(LockKey::NumLock));
    EXPECT_FALSE(on(LockKey::CapsLock));
    EXPECT_TRUE(on(LockKey::ScrollLock));
    // Every byte is four pairs of two 100 ms waits.
    EXPECT_EQ(std::count(keys.journal.begin(), keys.journal.end(), "wait 100"), 7 * 4 * 2);
}

TEST_F(HidSend, ProgressCountsTheBytesAndACancelStillRestoresTheLocks) {
    on(LockKey::CapsLock) = true;
    std::vector<std::pair<std::size_t, std::size_t>> progress;
    platform::CancelFlag cancel;
    options.cancel = &cancel;
    options.progress = [&](std::size_t done, std::size_t total) {
        progress.emplace_back(done, total);
        if (done == 2) cancel.set();
    };
    auto result = SendConfigurationHid(keys, "ABC", false, options);
    EXPECT_EQ(result.outcome, HidOutcome::Cancelled);
    EXPECT_EQ(result.bytesSent, 2u);
    EXPECT_EQ(progress, (std::vector<std::pair<std::size_t, std::size_t>>{{0, 5}, {1, 5}, {2, 5}}));
    EXPECT_EQ(decode(keys.journal, true, false, false),
              "\x1B"
              "A");
    EXPECT_TRUE(on(LockKey::CapsLock));
    EXPECT_FALSE(on(LockKey::NumLock));
    EXPECT_FALSE(on(LockKey::ScrollLock));

    // A cancel during a pulse's second wait: Scroll Lock is on then and goes off again.
    keys = RecordingLockKeys();
    cancel.reset();
    options.progress = nullptr;
    int waits = 0;
    options.pause = [&](std::chrono::milliseconds) {
        if (++waits == 2) cancel.set();
    };
    EXPECT_EQ(SendConfigurationHid(keys, "A", false, options).outcome, HidOutcome::Cancelled);
    EXPECT_EQ(keys.journal, (Journal{"ScrollLock", "ScrollLock"}));
    EXPECT_FALSE(on(LockKey::ScrollLock));
}

TEST_F(HidSend, WithoutLockKeysNothingIsSent) {
    NoLockKeys none;
    auto result = SendConfigurationHid(none, "ABC", true, options);
    EXPECT_EQ(result.outcome, HidOutcome::Unavailable);
    EXPECT_EQ(result.message,
              (ConfigurationMessage{" Error", "Function does not work on this Operating System.",
                                    platform::Report::Severity::Error}));
    EXPECT_EQ(none.presses, 0);

    auto empty = SendConfigurationHid(keys, "", true, options);
    EXPECT_EQ(empty.outcome, HidOutcome::Empty);
    EXPECT_TRUE(keys.journal.empty());
}
