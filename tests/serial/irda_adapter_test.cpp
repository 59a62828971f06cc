#include <gtest/gtest.h>

#include "platform/modem_lines.h"
#include "serial/irda_adapter.h"
#include "serial/serial_com.h"
#include "sim/echo_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using serial::irdaAdapterSteps;

namespace {

std::vector<std::string> texts(const std::vector<serial::IrdaStep>& steps) {
    std::vector<std::string> out;
    for (auto& s : steps) out.push_back(s.text());
    return out;
}

using V = std::vector<std::string>;

// The DTR-pulse adapters share one shape: reset, settle, an RTS blip, then n DTR pulses.
V dtrShape(int reset, int settle, int pulse, int pulses) {
    V v = {"DTR off",
           "RTS off",
           "wait " + std::to_string(reset),
           "DTR on",
           "RTS on",
           "wait " + std::to_string(settle),
           "RTS off",
           "wait " + std::to_string(pulse),
           "RTS on",
           "wait " + std::to_string(pulse)};
    for (int i = 0; i < pulses; ++i)
        v.insert(v.end(), {"DTR off", "wait " + std::to_string(pulse), "DTR on",
                           "wait " + std::to_string(pulse)});
    return v;
}

}  // namespace

TEST(IrdaAdapterSteps, NoneDoesNothingAndUnknownRatesOnlyRaiseTheLines) {
    EXPECT_TRUE(irdaAdapterSteps(0, 9600).empty());
    EXPECT_EQ(texts(irdaAdapterSteps(1, 1200)), (V{"RTS on", "DTR on"}));
    EXPECT_EQ(texts(irdaAdapterSteps(4, 57600)), (V{"RTS on", "DTR on"}));
    EXPECT_EQ(texts(irdaAdapterSteps(7, 57600)),
              (V{"RTS on", "DTR on"}));  // any type above 4 is the cradle
}

TEST(IrdaAdapterSteps, LiteLinkCountsDtrPulsesWithoutAPurge) {
    const std::pair<unsigned, int> table[] = {{115200, 0}, {57600, 1}, {38400, 2}, {19200, 3},
                                              {9600, 4},   {4800, 5},  {2400, 6}};
    for (auto [rate, pulses] : table)
        EXPECT_EQ(texts(irdaAdapterSteps(1, rate)), dtrShape(200, 10, 2, pulses)) << rate;
}

TEST(IrdaAdapterSteps, CradleCountsDtrPulsesAndPurges) {
    const std::pair<unsigned, int> table[] = {{115200, 1}, {38400, 2}, {19200, 3},
                                              {9600, 4},   {4800, 5},  {2400, 6}};
    for (auto [rate, pulses] : table) {
        V expected = dtrShape(30, 30, 1, pulses);
        expected.push_back("purge");
        EXPECT_EQ(texts(irdaAdapterSteps(4, rate)), expected) << rate;
    }
}

TEST(IrdaAdapterSteps, TekramSendsItsControlByteAt9600AndRestoresTheLine) {
    const std::pair<unsigned, const char*> table[] = {{115200, "10"}, {57600, "11"}, {38400, "12"},
                                                      {19200, "13"},  {9600, "14"},  {2400, "18"},
                                                      {4800, "10"},   {300, "10"}};
    for (auto [rate, byte] : table) {
        V expected = {"line 9600 8N1",
                      "RTS off",
                      "DTR off",
                      "wait 100",
                      "RTS on",
                      "DTR on",
                      "wait 100",
                      "RTS off",
                      "DTR off",
                      "wait 100",
                      "RTS on",
                      "wait 2",
                      "DTR on",
                      "wait 2",
                      "RTS off",
                      "wait 7",
                      std::string("write ") + byte,
                      "wait 50",
                      "RTS on",
                      "restore line"};
        EXPECT_EQ(texts(irdaAdapterSteps(2, rate)), expected) << rate;
    }
}

TEST(IrdaAdapterSteps, ActisysCountsRtsPulsesAndPurges) {
    const std::pair<unsigned, int> table[] = {{9600, 0},   {19200, 1}, {57600, 2},
                                              {115200, 3}, {38400, 4}, {4800, 0}};
    for (auto [rate, pulses] : table) {
        V expected = {"DTR on", "RTS on", "wait 50", "DTR off", "RTS on",
                      "wait 1", "DTR on", "RTS on",  "wait 1"};
        for (int i = 0; i < pulses; ++i)
            expected.insert(expected.end(),
                            {"wait 1", "DTR on", "RTS off", "wait 1", "DTR on", "RTS on"});
        expected.push_back("purge");
        EXPECT_EQ(texts(irdaAdapterSteps(3, rate)), expected) << rate;
    }
}

// The connection runs the steps: modem lines and pauses through the seam, in order, the
// control byte on the wire at 9600 baud, and the line settings as they were afterwards.
TEST(ProgramIrDAAdapter, RunsTheStepsOnTheConnection) {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    ASSERT_TRUE(device.start(env.mapFile(), 2, "IrDA adapter"));
    device.command("silent on");
    CSerialCom com;
    platform::RecordingModemLines fake;
    com.SetModemLines(&fake);
    ASSERT_TRUE(com.Open(2));
    ASSERT_TRUE(com.SetBaudRate(115200) && com.SetStopBits(platform::stopbits::Two));
    fake.journal.clear();

    com.ProgramIrDAAdapter(serial::irda::Tekram, 4800);

    V modemAndWaits;
    for (auto& t : texts(irdaAdapterSteps(2, 4800)))
        if (t.rfind("DTR", 0) == 0 || t.rfind("RTS", 0) == 0 || t.rfind("wait", 0) == 0)
            modemAndWaits.push_back(t);
    EXPECT_EQ(fake.journal, modemAndWaits);
    ASSERT_TRUE(device.line().waitReceived(1, 1000ms));
    EXPECT_EQ(device.line().received(), sim::Bytes{0x10});
    EXPECT_EQ(device.line().programSettings(),
              (platform::LineSettings{115200, 8, platform::parity::None, platform::stopbits::Two}));
    EXPECT_TRUE(com.GetRTS());
    EXPECT_TRUE(com.GetDTR());

    fake.journal.clear();
    com.ProgramIrDAAdapter(serial::irda::Actisys, 4800);
    EXPECT_EQ(fake.journal, (V{"DTR on", "RTS on", "wait 50", "DTR off", "RTS on", "wait 1",
                               "DTR on", "RTS on", "wait 1"}));
}
