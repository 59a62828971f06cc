#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "platform/serial_device.h"
#include "sim/sim_line.h"

using namespace std::chrono_literals;
using platform::SerialDevice;

namespace {

struct LinePair {
    sim::SimLine far;
    SerialDevice near;
    LinePair() {
        EXPECT_TRUE(far.open());
        EXPECT_TRUE(near.open(far.devicePath()));
    }
};

}  // namespace

TEST(SerialDevice, IsExclusiveAndNamesTheHolder) {
    LinePair p;
    SerialDevice second;
    EXPECT_FALSE(second.open(p.far.devicePath()));
    EXPECT_EQ(second.lastError().windowsCode(), 5);
    EXPECT_NE(second.lastError().text.find("(pid "), std::string::npos) << second.lastError().text;
    p.near.close();
    EXPECT_TRUE(second.open(p.far.devicePath()));
}

TEST(SerialDevice, OpenFailureKeepsTheReason) {
    SerialDevice d;
    EXPECT_FALSE(d.open("/dev/does-not-exist"));
    EXPECT_EQ(d.lastError().windowsCode(), 2);
    EXPECT_FALSE(d.open("/dev/null"));  // not a serial line
    EXPECT_FALSE(d.isOpen());
}

TEST(SerialDevice, ReadExactTakesNothingUntilTheWholeCountIsQueued) {
    LinePair p;
    p.far.send("abc");
    char buf[8] = {};
    EXPECT_EQ(p.near.readExact(buf, 4, 100ms), 0u);
    EXPECT_EQ(p.near.bytesWaiting(), 3u);
    EXPECT_EQ(p.near.readExact(buf, 3, 100ms), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    std::thread later([&] {
        std::this_thread::sleep_for(30ms);
        p.far.send("xy");
    });
    EXPECT_EQ(p.near.readExact(buf, 2, 2000ms), 2u);
    later.join();
    EXPECT_EQ(std::string(buf, 2), "xy");
}

TEST(SerialDevice, WritesArriveAndPurgeEmptiesTheInputQueue) {
    LinePair p;
    ASSERT_EQ(p.near.write("hello", 5, 1000ms), 5u);
    char got[5];
    ASSERT_TRUE(p.far.readExact(got, 5, 1000ms));
    EXPECT_EQ(p.far.received(), sim::Bytes({'h', 'e', 'l', 'l', 'o'}));
    p.far.send("queued");
    EXPECT_TRUE(p.near.waitReadable(1000ms));
    EXPECT_TRUE(p.near.purge());
    EXPECT_EQ(p.near.bytesWaiting(), 0u);
}

TEST(SerialDevice, APurgeRightAfterAWriteKeepsWhatWasWritten) {
    // A completed write has left; a purge drops only what is still queued. The far end reads
    // as a device does, while the bytes come.
    LinePair p;
    constexpr std::size_t kCount = 200;
    std::thread device([&] {
        char got[kCount];
        p.far.readExact(got, kCount, 5000ms);
    });
    for (std::size_t i = 0; i < kCount; ++i) {
        ASSERT_EQ(p.near.write("\x17", 1, 1000ms), 1u);
        ASSERT_TRUE(p.near.drain(1000ms));
        EXPECT_TRUE(p.near.purge());
        std::this_thread::sleep_for(1ms);
    }
    device.join();
    EXPECT_EQ(p.far.received().size(), kCount);
}

TEST(SerialDevice, AnyBaudRateAndTheWindowsLineCodesReachTheLine) {
    LinePair p;
    for (platform::LineSettings s :
         {platform::LineSettings{250000, 8, platform::parity::Mark, platform::stopbits::Two},
          platform::LineSettings{31250, 7, platform::parity::Space, platform::stopbits::One},
          platform::LineSettings{115200, 8, platform::parity::Odd, platform::stopbits::One},
          platform::LineSettings{1200, 5, platform::parity::Even,
                                 platform::stopbits::OneAndHalf}}) {
        ASSERT_TRUE(p.near.setLineSettings(s));
        EXPECT_EQ(p.near.lineSettings(), s);
        // The far end of a pseudo-terminal sees the rate and stop bits, not the frame.
        EXPECT_EQ(p.far.programSettings()->baudRate, s.baudRate);
        EXPECT_EQ(p.far.programSettings()->stopBits == platform::stopbits::One,
                  s.stopBits == platform::stopbits::One);
    }
    EXPECT_FALSE(p.near.setLineSettings({9600, 9, 0, 0}));
    EXPECT_FALSE(p.near.setLineSettings({9600, 8, 5, 0}));
    EXPECT_FALSE(p.near.setLineSettings({9600, 8, 0, platform::stopbits::OneAndHalf}));
}

TEST(SerialDevice, ModemLinesFailQuietlyOnALineWithout) {
    LinePair p;
    EXPECT_FALSE(p.near.setModemLine(platform::ModemLine::Dtr, true));
    EXPECT_FALSE(p.near.modemStatus());
    EXPECT_TRUE(p.near.isOpen());
    EXPECT_EQ(p.near.write("x", 1, 1000ms), 1u);
}

TEST(SerialDevice, AVanishedLineEndsEvenAnUnboundedRead) {
    LinePair p;
    std::thread unplug([&] {
        std::this_thread::sleep_for(50ms);
        p.far.close();
    });
    char buf[4];
    EXPECT_EQ(p.near.readExact(buf, 4, -1ms), 0u);
    unplug.join();
    EXPECT_FALSE(p.near.waitReadable(-1ms));
    EXPECT_LT(p.near.write("x", 1, 100ms), 1u);
}
