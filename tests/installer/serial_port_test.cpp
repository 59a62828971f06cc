#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "installer/engine/serial_port.h"
#include "platform/port_map.h"
#include "sim/sim_line.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using fenwald::SerialState;
using fenwald::SerialTimeouts;

namespace {

constexpr int kPort = 12;

struct SerialPortOnLine : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::SimLine line;
    void SetUp() override {
        ASSERT_TRUE(line.open());
        ASSERT_TRUE(platform::registerPort(env.mapFile(), {kPort, line.devicePath(), "Scanner"}));
    }
};

template <class Call>
CSerialException thrownBy(Call call) {
    try {
        call();
    } catch (const CSerialException& e) {
        return e;
    }
    ADD_FAILURE() << "nothing thrown";
    return CSerialException(0u);
}

std::string messageOf(const CSerialException& e) {
    char text[1024];
    return e.GetErrorMessage(text, sizeof text) ? text : "(no text)";
}

}  // namespace

TEST_F(SerialPortOnLine, AMissingPortThrowsTwoAndTheTextSaysWhatToCheck) {
    CSerialPort port;
    for (int missing : {0, 7}) {
        CSerialException e = thrownBy([&] { port.Open(missing); });
        EXPECT_EQ(e.errorCode(), 2u);
        EXPECT_FALSE(port.IsOpen());
        std::string com = "COM" + std::to_string(missing);
        EXPECT_EQ(messageOf(e), std::string(std::strerror(ENOENT)) + "\n" + com +
                                    " is not in the port map " + env.mapFile() +
                                    ". Check that the device is plugged in.");
        EXPECT_STREQ(e.what(), messageOf(e).c_str());
    }
    // A port in the map whose device is gone.
    ASSERT_TRUE(platform::registerPort(env.mapFile(), {3, "/dev/veltrix-unplugged", ""}));
    CSerialException e = thrownBy([&] { port.Open(3); });
    EXPECT_EQ(e.errorCode(), 2u);
    EXPECT_NE(messageOf(e).find("/dev/veltrix-unplugged is not there."), std::string::npos)
        << messageOf(e);
}

TEST_F(SerialPortOnLine, APortHeldElsewhereThrowsFiveNamingTheHolderAndIsFreeAfterClose) {
    CSerialPort holder, second;
    holder.Open(kPort);
    CSerialException e = thrownBy([&] { second.Open(kPort); });
    EXPECT_EQ(e.errorCode(), 5u);
    EXPECT_FALSE(second.IsOpen());
    EXPECT_NE(messageOf(e).find("\nCOM12 is in use by "), std::string::npos) << messageOf(e);
    EXPECT_NE(messageOf(e).find("(pid "), std::string::npos) << messageOf(e);

    holder.Close();
    holder.Close();  // harmless
    EXPECT_FALSE(holder.IsOpen());
    second.Open(kPort);
    EXPECT_TRUE(second.IsOpen());
    {
        CSerialPort gone;
        EXPECT_NO_THROW(gone.Close());
    }
}

TEST_F(SerialPortOnLine, OpenTranslatesTheClassCodes) {
    struct Case {
        int parity;
        std::uint8_t platformParity;
        int stopBits;
        std::uint8_t platformStopBits;
    };
    for (Case c : {Case{0, platform::parity::Even, 0, platform::stopbits::One},
                   Case{1, platform::parity::Mark, 2, platform::stopbits::Two},
                   Case{2, platform::parity::None, 0, platform::stopbits::One},
                   Case{3, platform::parity::Odd, 2, platform::stopbits::Two},
                   Case{4, platform::parity::Space, 0, platform::stopbits::One}}) {
        CSerialPort port;
        port.Open(kPort, 19200, c.parity, 7, c.stopBits);
        SerialState state;
        port.GetState(state);
        EXPECT_EQ(state.line.baudRate, 19200u);
        EXPECT_EQ(state.line.dataBits, 7);
        EXPECT_EQ(state.line.parity, c.platformParity) << "parity code " << c.parity;
        EXPECT_EQ(state.line.stopBits, c.platformStopBits) << "stop-bits code " << c.stopBits;
        EXPECT_EQ(line.programSettings()->stopBits, c.platformStopBits);
        EXPECT_EQ(line.programSettings()->baudRate, 19200u);
    }
    // A stop-bits code above the table leaves what the last open set.
    {
        CSerialPort port;
        port.Open(kPort, 9600, CSerialPort::kParityNone, 8, CSerialPort::kTwoStopBits);
    }
    CSerialPort port;
    port.Open(kPort, 4800, CSerialPort::kParityNone, 8, 3);
    EXPECT_EQ(line.programSettings()->stopBits, platform::stopbits::Two);
    EXPECT_EQ(line.programSettings()->baudRate, 4800u);
}

TEST_F(SerialPortOnLine, FlowControlCodesGetWhatTermiosOffers) {
    struct Case {
        int code;
        platform::FlowControl flow;
    };
    for (Case c :
         {Case{CSerialPort::kNoFlowControl, {}},
          Case{CSerialPort::kCtsRtsFlowControl, {.rtsCts = true}},
          Case{CSerialPort::kCtsDtrFlowControl, {.rtsCts = true}},
          Case{CSerialPort::kDsrRtsFlowControl, {}}, Case{CSerialPort::kDsrDtrFlowControl, {}},
          Case{CSerialPort::kXonXoffFlowControl, {.xonXoffOut = true, .xonXoffIn = true}},
          Case{6, {}}}) {
        ASSERT_TRUE(line.setProgramFlowControl({true, true, true}));
        CSerialPort port;
        port.Open(kPort, 9600, CSerialPort::kParityNone, 8, CSerialPort::kOneStopBit, c.code);
        auto flow = line.programFlowControl();
        ASSERT_TRUE(flow);
        EXPECT_EQ(flow->rtsCts, c.flow.rtsCts) << "code " << c.code;
        EXPECT_EQ(flow->xonXoffOut, c.flow.xonXoffOut) << "code " << c.code;
        EXPECT_EQ(flow->xonXoffIn, c.flow.xonXoffIn) << "code " << c.code;
    }
}

TEST_F(SerialPortOnLine, ASettingTheDriverRefusesThrowsWithTheLineStillOpen) {
    CSerialPort port;
    // One and a half stop bits exist only with 5 data bits.
    CSerialException e = thrownBy(
        [&] { port.Open(kPort, 9600, CSerialPort::kParityNone, 8, CSerialPort::kOne5StopBits); });
    EXPECT_EQ(e.errorCode(), 87u);
    EXPECT_TRUE(port.IsOpen());
    port.Close();

    port.Open(kPort);
    SerialState state;
    port.GetState(state);
    SerialState bad = state;
    bad.line.dataBits = 4;
    EXPECT_EQ(thrownBy([&] { port.SetState(bad, false); }).errorCode(), 87u);
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(thrownBy([&] { port.SetState(bad, true); }).errorCode(), 87u);
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialPortOnLine, ImmediateReadReturnsWhatHasArrivedAndLeavesTheWriteTimeouts) {
    CSerialPort port;
    port.Open(kPort);
    port.SetTimeouts({7, 8, 9, 10, 11});
    port.SetImmediateRead();
    SerialTimeouts t;
    port.GetTimeouts(t);
    EXPECT_EQ(t, (SerialTimeouts{SerialTimeouts::kTimeoutMax, 0, 0, 10, 11}));

    char buffer[8] = {};
    EXPECT_EQ(port.Read(buffer, 1), 0);
    ASSERT_TRUE(line.send("AB"));
    std::string got;
    EXPECT_TRUE(testenv::eventually([&] {
        got.append(buffer, static_cast<std::size_t>(port.Read(buffer, sizeof buffer)));
        return got == "AB";
    })) << got;
    EXPECT_EQ(port.Read(buffer, 1), 0);
}

TEST_F(SerialPortOnLine, ReadsKeepToTheirTimeouts) {
    CSerialPort port;
    port.Open(kPort);
    char buffer[16] = {};

    // A total time-out: what arrives within it, and nothing lost when the count is not reached.
    port.SetTimeouts({0, 0, 3000, 0, 0});
    std::thread later([&] {
        std::this_thread::sleep_for(20ms);
        line.send("xy");
    });
    EXPECT_EQ(port.Read(buffer, 2), 2);
    later.join();
    EXPECT_EQ(std::string(buffer, 2), "xy");
    port.SetTimeouts({0, 0, 30, 0, 0});
    EXPECT_EQ(port.Read(buffer, 1), 0);

    // Only an interval: the read ends when no byte follows, not when the count is reached.
    port.SetTimeouts({50, 0, 0, 0, 0});
    ASSERT_TRUE(line.send("abc"));
    std::string got;
    while (got.size() < 3) {
        int n = port.Read(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, "abc");

    // The first byte within the constant, then what is there.
    port.SetTimeouts({SerialTimeouts::kTimeoutMax, SerialTimeouts::kTimeoutMax, 3000, 0, 0});
    std::thread answer([&] {
        std::this_thread::sleep_for(20ms);
        line.send("q");
    });
    EXPECT_EQ(port.Read(buffer, 4), 1);
    answer.join();
    EXPECT_EQ(buffer[0], 'q');
}

TEST_F(SerialPortOnLine, WritesReachTheLine) {
    CSerialPort port;
    port.Open(kPort);
    EXPECT_EQ(port.Write("hello", 5), 5);
    EXPECT_EQ(port.Write("", 0), 0);
    char got[5] = {};
    ASSERT_TRUE(line.readExact(got, 5, 3000ms));
    EXPECT_EQ(std::string(got, 5), "hello");
}

TEST_F(SerialPortOnLine, EveryCallOnAClosedOrLostLineThrows) {
    CSerialPort port;
    char byte = 0;
    SerialState state;
    SerialTimeouts timeouts;
    EXPECT_EQ(thrownBy([&] { port.Read(&byte, 1); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.Write(&byte, 1); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.GetState(state); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.SetState(state); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.GetTimeouts(timeouts); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.SetTimeouts(timeouts); }).errorCode(), 6u);
    EXPECT_EQ(thrownBy([&] { port.SetImmediateRead(); }).errorCode(), 6u);

    port.Open(kPort);
    EXPECT_EQ(thrownBy([&] { port.Read(&byte, -1); }).errorCode(), 87u);
    port.SetImmediateRead();
    line.close();  // the adapter is unplugged
    CSerialException lost = thrownBy([&] { port.Read(&byte, 1); });
    EXPECT_NE(lost.errorCode(), 0u);
    EXPECT_NE(messageOf(lost).find("the line was lost"), std::string::npos) << messageOf(lost);
    EXPECT_NE(thrownBy([&] { port.Write("x", 1); }).errorCode(), 0u);
}

TEST(SerialException, GetErrorMessageKeepsToTheBufferAndSaysWhenThereIsNoText) {
    CSerialException e(platform::SystemError::fromCode(ENOENT, "COM4 is not in the port map"));
    EXPECT_EQ(e.errorCode(), 2u);
    char text[10];
    std::memset(text, 'x', sizeof text);
    unsigned help = 77;
    EXPECT_TRUE(e.GetErrorMessage(text, sizeof text, &help));
    EXPECT_EQ(help, 0u);
    EXPECT_EQ(std::strlen(text), 9u);
    EXPECT_EQ(std::string(text), std::string(e.what()).substr(0, 9));

    // The code alone: the system's text for an errno it stands for.
    char full[256];
    EXPECT_TRUE(CSerialException(2u).GetErrorMessage(full, sizeof full));
    EXPECT_EQ(std::string(full), std::strerror(ENOENT));

    for (std::uint32_t none : {0u, 31u, 999999u}) {
        std::memset(full, 'x', sizeof full);
        EXPECT_FALSE(CSerialException(none).GetErrorMessage(full, sizeof full, &help)) << none;
        EXPECT_EQ(full[0], '\0');
    }
    EXPECT_FALSE(e.GetErrorMessage(text, 0));
}
