#include <gtest/gtest.h>

#include <thread>

#include "serial/serial_com.h"
#include "sim/echo_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct SerialComOnSim : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    void SetUp() override { ASSERT_TRUE(device.start(env.mapFile(), 12, "Veltrix Echo (COM12)")); }

    static std::string roundTrip(CSerialCom& com, const std::string& text) {
        if (!com.Write(text.data(), static_cast<int>(text.size()))) return "write failed";
        std::string in(text.size(), '\0');
        return com.Read(in.data(), static_cast<int>(in.size())) == static_cast<int>(in.size())
                   ? in
                   : "read failed";
    }
};

}  // namespace

TEST_F(SerialComOnSim, OpensByPortNumberOnlyOnce) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    EXPECT_EQ(com.GetPortNumber(), 12);
    EXPECT_GE(com.GetHandle(), 0);
    EXPECT_FALSE(com.Open(12));
    EXPECT_FALSE(com.Open(3));
    EXPECT_EQ(com.GetPortNumber(), 12);
    EXPECT_EQ(roundTrip(com, "still works"), "still works");

    CSerialCom other;
    EXPECT_FALSE(other.Open(12));
    EXPECT_EQ(other.LastError().windowsCode(), 5);
    EXPECT_NE(other.OpenFailureAdvice().find("is in use by "), std::string::npos)
        << other.OpenFailureAdvice();
    EXPECT_NE(other.OpenFailureAdvice().find("(pid "), std::string::npos);
    EXPECT_FALSE(other.IsOpen());
    EXPECT_FALSE(other.Open(4));
    EXPECT_EQ(other.LastError().windowsCode(), 2);
    EXPECT_EQ(other.OpenFailureAdvice().rfind("COM4 is not in the port map ", 0), 0u)
        << other.OpenFailureAdvice();
}

TEST_F(SerialComOnSim, OpenLeavesNoFlowControlAndRaisesDtrAndRts) {
    ASSERT_TRUE(device.line().setProgramFlowControl({true, true, true}));
    ASSERT_TRUE(device.line().programFlowControl()->any());
    CSerialCom com;
    com.SetDTR(false);
    com.SetRTS(false);
    ASSERT_TRUE(com.Open(12));
    auto flow = device.line().programFlowControl();
    ASSERT_TRUE(flow);
    EXPECT_FALSE(flow->rtsCts);
    EXPECT_FALSE(flow->xonXoffIn);
    EXPECT_FALSE(flow->xonXoffOut);
    EXPECT_TRUE(com.GetDTR());
    EXPECT_TRUE(com.GetRTS());
    EXPECT_FALSE(com.GetCTS());  // a pseudo-terminal has no modem lines: quietly off
}

TEST_F(SerialComOnSim, AShortReadTimesOutAndLeavesTheBytesQueued) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    device.command("silent on");
    device.command("garbage 41 42 43");
    ASSERT_TRUE(testenv::eventually([&] { return com.BytesWaiting() == 3; }));
    char buf[4] = {};
    EXPECT_EQ(com.Read(buf, 4), 0);
    EXPECT_EQ(com.BytesWaiting(), 3u);
    EXPECT_EQ(com.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "ABC");
}

TEST_F(SerialComOnSim, WaitReadableConsumesNothingAndEndsWhenTheLineGoes) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    EXPECT_FALSE(com.WaitReadable(0));
    device.command("silent on");
    device.command("garbage 41");
    ASSERT_TRUE(com.WaitReadable(3000));
    EXPECT_EQ(com.BytesWaiting(), 1u);
    char b = 0;
    ASSERT_EQ(com.Read(&b, 1), 1);
    EXPECT_FALSE(com.LineLost());
    device.vanish();
    EXPECT_FALSE(com.WaitReadable(3000));
    EXPECT_TRUE(com.LineLost());
}

TEST_F(SerialComOnSim, PurgeEmptiesWhatWasQueued) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    ASSERT_TRUE(com.Write("queued", 6));
    ASSERT_TRUE(testenv::eventually([&] { return com.BytesWaiting() == 6; }));
    EXPECT_TRUE(com.Purge());
    EXPECT_EQ(com.BytesWaiting(), 0u);
}

TEST_F(SerialComOnSim, LineSettersReachTheLine) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    EXPECT_TRUE(com.SetBaudRate(115200));
    EXPECT_TRUE(com.SetByteSize(7));
    EXPECT_TRUE(com.SetParity(platform::parity::Odd));
    EXPECT_TRUE(com.SetStopBits(platform::stopbits::Two));
    EXPECT_EQ(device.line().programSettings()->baudRate, 115200u);
    EXPECT_EQ(device.line().programSettings()->stopBits, platform::stopbits::Two);
    EXPECT_FALSE(com.SetParity(9));
    EXPECT_FALSE(com.SetByteSize(4));
    EXPECT_TRUE(com.SetBufferSizes(2048, 2048));
}

TEST_F(SerialComOnSim, OneThreadReadsWhileAnotherWrites) {
    CSerialCom com;
    ASSERT_TRUE(com.Open(12));
    std::string got;
    std::thread reader([&] {
        char buf[64];
        while (got.size() < 400) {
            unsigned n = com.BytesWaiting();
            if (n == 0) {
                std::this_thread::sleep_for(1ms);
                continue;
            }
            int r = com.Read(buf, static_cast<int>(std::min<unsigned>(n, sizeof buf)));
            if (r <= 0) break;
            got.append(buf, static_cast<std::size_t>(r));
        }
    });
    std::string sent;
    for (int i = 0; i < 100; ++i) {
        std::string chunk = std::to_string(1000 + i);
        ASSERT_TRUE(com.Write(chunk.data(), 4));
        sent += chunk;
    }
    reader.join();
    EXPECT_EQ(got, sent);
}

TEST(SerialComClosed, DoesNothingAndReportsNothing) {
    CSerialCom com;
    char buf[4];
    com.Close();
    com.Close();
    EXPECT_FALSE(com.IsOpen());
    EXPECT_EQ(com.Read(buf, 4), 0);
    EXPECT_FALSE(com.Write("x", 1));
    EXPECT_EQ(com.BytesWaiting(), 0u);
    EXPECT_EQ(com.BytesPending(), 0u);
    EXPECT_FALSE(com.WaitReadable(10));
    EXPECT_EQ(com.GetPortNumber(), 0);
    EXPECT_EQ(com.GetHandle(), -1);
    EXPECT_FALSE(com.Purge());
    EXPECT_FALSE(com.SetBaudRate(9600));
    EXPECT_FALSE(com.SetByteSize(8));
    EXPECT_FALSE(com.SetParity(0));
    EXPECT_FALSE(com.SetStopBits(0));
    EXPECT_FALSE(com.SetBufferSizes(2048, 2048));
}

TEST_F(SerialComOnSim, CloseAndDestructionReleaseThePort) {
    {
        CSerialCom com;
        ASSERT_TRUE(com.Open(12));
        com.Close();
        EXPECT_EQ(com.GetPortNumber(), 0);
        EXPECT_TRUE(com.GetDTR());  // the stored state outlives the connection
        ASSERT_TRUE(com.Open(12));
    }
    CSerialCom again;
    EXPECT_TRUE(again.Open(12));
}
