// The simulated Z7 device on its own: what it does with frames and commands the download tool
// never sends.
#include <gtest/gtest.h>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "sim/z7_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct Z7OnCom4 : ::testing::Test {
    testenv::IsolatedPorts env;
    std::unique_ptr<sim::Z7Device> z7;
    platform::SerialDevice program;

    void start(sim::Z7Device::Options o, unsigned baud) {
        z7 = std::make_unique<sim::Z7Device>(o);
        ASSERT_TRUE(z7->start(env.mapFile(), 4, "Z7 (COM4)"));
        ASSERT_TRUE(program.open(platform::findPort(4)->devicePath));
        ASSERT_TRUE(
            program.setLineSettings({baud, 8, platform::parity::None, platform::stopbits::One}));
    }
    std::string exchange(const std::string& out, std::size_t expect,
                         std::chrono::milliseconds wait = 2000ms) {
        program.write(out.data(), out.size(), 1000ms);
        std::string in(expect, '\0');
        if (expect == 0) return program.readExact(in.data(), 1, 300ms) ? "unexpected" : "";
        return program.readExact(in.data(), expect, wait) == expect ? in : "timeout";
    }
    static std::string frame(std::uint16_t number, std::string data, int checksumError = 0) {
        std::string f = {0, static_cast<char>(data.size()), static_cast<char>(number >> 8),
                         static_cast<char>(number)};
        unsigned sum = checksumError;
        for (char c : data) sum += static_cast<std::uint8_t>(c);
        f += data;
        f += {static_cast<char>(sum >> 8 & 0xFF), static_cast<char>(sum & 0xFF), 0, 0};
        f += std::string(18, '\0');
        return f;
    }
};

}  // namespace

TEST_F(Z7OnCom4, FramesAreCheckedAndOnlyTakenAtTheTransferSpeed) {
    start({}, 115200);
    EXPECT_EQ(exchange(frame(7, "0123456789abcdef"), 2), "NX");
    EXPECT_EQ(exchange(frame(8, "0123456789abcdef", 1), 2), "RT");  // checksum off by one
    EXPECT_EQ(z7->badFrames(), 1);
    ASSERT_EQ(z7->blocks().size(), 1u);
    EXPECT_EQ(z7->blocks().at(7), sim::Bytes({'0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a',
                                              'b', 'c', 'd', 'e', 'f'}));
    EXPECT_EQ(exchange(frame(9, "0123456789abcdef").substr(0, 30), 2), "RT");  // broken off
    EXPECT_EQ(z7->command("swap on"), "ok");
    std::string stop = "ED" + std::string(16 + 24, '\0');
    EXPECT_EQ(exchange(stop, 8), "DEGEEBEF");
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(exchange(frame(10, "0123456789abcdef"), 0), "");
    EXPECT_EQ(exchange("\x1BZW\r\r\r\r\r", 0), "");
    ASSERT_EQ(z7->modeSwitches().size(), 1u);
    EXPECT_EQ(z7->modeSwitches()[0].baudRate, 9600u);
    EXPECT_EQ(z7->command("bogus").rfind("error:", 0), 0u);
    EXPECT_EQ(z7->command("reject x").rfind("error:", 0), 0u);
}

TEST_F(Z7OnCom4, TheMonitorsFlashObeysTheJedecSequences) {
    sim::Z7Device::Options o;
    o.mode = sim::Z7Device::Mode::Bootstrap;
    start(o, 57600);
    EXPECT_EQ(exchange("A", 1), ":");
    const std::uint16_t old = z7->flashWord(0x10000010);
    // Programming without an erase can only clear bits.
    for (const char* c : {"10000AAA4200AA", "10000554420055", "10000AAA4200A0"})
        EXPECT_EQ(exchange(c, 15), std::string(c) + "/");
    EXPECT_EQ(exchange("100000104200FF", 15), "100000104200FF/");
    EXPECT_EQ(z7->flashWord(0x10000010), old & 0x00FF);
    // A write without the unlock cycles changes nothing.
    EXPECT_EQ(exchange("100000124200FF", 15), "100000124200FF/");
    EXPECT_EQ(z7->flashWord(0x10000012), z7->initialFlashWord(0x10000012));
    // Sector erase: DQ6 toggles on reads while it runs, then the sector reads erased.
    ASSERT_EQ(z7->command("erase-busy 2"), "ok");
    for (const char* c : {"10000AAA4200AA", "10000554420055", "10000AAA420080", "10000AAA4200AA",
                          "10000554420055", "10010000420030"})
        exchange(c, 15);
    EXPECT_EQ(z7->erases(), 1);
    EXPECT_EQ(exchange("1000000062", 15), "10000000620040/");
    EXPECT_EQ(exchange("1000000062", 15), "10000000620000/");
    EXPECT_EQ(exchange("1001000062", 15), "1001000062FFFF/");
    EXPECT_EQ(z7->flashWord(0x10000010), old & 0x00FF);  // another sector
    EXPECT_EQ(exchange("00221000C490020200", 19), "00221000C490020200/");
    EXPECT_EQ(z7->longWrites().size(), 1u);
    EXPECT_EQ(exchange("1000000077", 1), "?");
    // At another speed nothing is understood.
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(exchange("A", 0), "");
}

// The benchmarks' ratios stand on this: however the simulator makes up for its own delays, a
// reply never comes sooner than the line could carry the command and the reply.
TEST_F(Z7OnCom4, APacedMonitorAnswersNoSoonerThanTheLineCarriesCommandAndEcho) {
    sim::Z7Device::Options o;
    o.mode = sim::Z7Device::Mode::Bootstrap;
    start(o, 57600);
    z7->line().setPacing(true);
    EXPECT_EQ(exchange("A", 1), ":");
    constexpr int kExchanges = 60;
    const std::string command = "08000010421234";  // into RAM, as often as wanted
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kExchanges; ++i) {
        ASSERT_EQ(program.write(command.data(), command.size(), 1000ms), command.size());
        // Each byte taken as it comes: the test's own reading adds no time.
        std::string reply;
        char buf[32];
        while (reply.size() < 15 && program.waitReadable(1000ms))
            reply.append(buf, program.readAvailable(buf, sizeof buf));
        ASSERT_EQ(reply, command + "/");
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double wire = kExchanges * (14 + 15) * 10.0 / 57600;
    // A sleep aimed early by its mean lateness may end a little early on its own.
    EXPECT_GE(seconds, 0.98 * wire) << "wire time " << wire << " s";
}
