#include <gtest/gtest.h>

#include <algorithm>

#include "installer/engine/fenwald_settings.h"
#include "installer/engine/scanner_probe.h"
#include "platform/modem_lines.h"
#include "serial/irda_adapter.h"
#include "serial/serial_com.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

using namespace fenwald;

namespace {

const std::string kFind = "\x1bWC\r";

struct ProbeOnCom6 : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    CSerialCom com;
    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 6, "Veltrix Scanner (COM6)"));
    }

    ScannerRate probe(int irdaType = 0, const platform::CancelFlag* cancel = nullptr) {
        SerialComProbeLine line(com, 6, irdaType, cancel);
        return detectScannerRate(line, probeRatesFor(irdaType));
    }
    std::size_t requestsSeen() {
        auto r = scanner.line().received();
        std::string text(r.begin(), r.end());
        std::size_t n = 0;
        for (auto at = text.find(kFind); at != std::string::npos; at = text.find(kFind, at + 1))
            ++n;
        return n;
    }
};

}  // namespace

TEST_F(ProbeOnCom6, FindsTheScannerAtEachRateItCanHave) {
    for (unsigned rate : {9600u, 115200u, 38400u, 4800u, 600u}) {
        scanner.setOwnRates({rate});
        ScannerRate r = probe();
        EXPECT_TRUE(r.found) << rate;
        EXPECT_EQ(r.rate, rate);
        EXPECT_FALSE(r.severalAnswered) << rate;
        EXPECT_FALSE(r.openError);
        EXPECT_FALSE(com.IsOpen());  // closed after every rate
    }
}

TEST_F(ProbeOnCom6, TwoAnsweringRatesGiveTheSecondAndEndTheProbe) {
    scanner.setOwnRates({38400, 9600});
    ScannerRate r = probe();
    EXPECT_TRUE(r.found);
    EXPECT_TRUE(r.severalAnswered);
    EXPECT_EQ(r.rate, 38400u);  // after 9600, 115200 and 57600
    EXPECT_EQ(requestsSeen(), 4u);

    scanner.line().clearReceived();
    scanner.setOwnRates({9600, 115200, 57600});
    r = probe();
    EXPECT_EQ(r.rate, 115200u);
    EXPECT_EQ(requestsSeen(), 2u);  // 57600 was never tried
}

TEST_F(ProbeOnCom6, ASilentScannerIsAskedAtEveryRateInOrder) {
    scanner.line().setSilent(true);
    ScannerRate r = probe();
    EXPECT_FALSE(r.found);
    EXPECT_FALSE(r.openError);
    EXPECT_EQ(r.rate, 0u);
    // Requests at a rate the scanner does not speak are still on the line.
    auto received = scanner.line().received();
    std::string expected;
    for (std::size_t i = 0; i < std::size(kScannerRates); ++i) expected += kFind;
    ASSERT_TRUE(scanner.line().waitReceived(expected.size(), std::chrono::milliseconds(2000)));
    EXPECT_EQ(std::string(received.begin(), received.end()), expected);
}

TEST_F(ProbeOnCom6, TheFixedBaudRateCradleIsAskedAt9600Only) {
    scanner.setOwnRates({19200});
    ScannerRate r = probe(kFixedBaudRateCradle);
    EXPECT_FALSE(r.found);
    ASSERT_TRUE(scanner.line().waitReceived(kFind.size(), std::chrono::milliseconds(2000)));
    EXPECT_EQ(requestsSeen(), 1u);
    scanner.setOwnRates({9600});
    EXPECT_EQ(probe(kFixedBaudRateCradle).rate, 9600u);
    EXPECT_EQ(probeRatesFor(4).size(), std::size(kScannerRates));
}

TEST_F(ProbeOnCom6, AnIrdaAdapterIsSwitchedToEachRateAfterItIsSet) {
    platform::RecordingModemLines lines;
    com.SetModemLines(&lines);
    scanner.line().setSilent(true);
    ScannerRate r = probe(serial::irda::Tekram);
    EXPECT_FALSE(r.found);
    std::vector<std::string> expected;
    std::string onTheLine;
    for (unsigned rate : kScannerRates) {
        // Open raises DTR and RTS, then the adapter's pulses for the rate.
        expected.insert(expected.end(), {"DTR on", "RTS on"});
        for (const auto& step : serial::irdaAdapterSteps(serial::irda::Tekram, rate)) {
            if (step.kind == serial::IrdaStep::Dtr || step.kind == serial::IrdaStep::Rts ||
                step.kind == serial::IrdaStep::Wait)
                expected.push_back(step.text());
            if (step.kind == serial::IrdaStep::Write) onTheLine += char(step.value);
        }
        onTheLine += kFind;
    }
    EXPECT_EQ(lines.journal, expected);
    // Each rate's control byte goes out before the request at that rate.
    ASSERT_TRUE(scanner.line().waitReceived(onTheLine.size(), std::chrono::milliseconds(2000)));
    auto received = scanner.line().received();
    EXPECT_EQ(std::string(received.begin(), received.end()), onTheLine);
}

TEST_F(ProbeOnCom6, TypesOutsideOneToFourSwitchNothing) {
    platform::RecordingModemLines lines;
    com.SetModemLines(&lines);
    scanner.setOwnRates({115200});
    for (int type : {0, kFixedBaudRateCradle, 7}) {
        lines.journal.clear();
        probe(type);
        EXPECT_TRUE(std::all_of(lines.journal.begin(), lines.journal.end(), [](auto& s) {
            return s == "DTR on" || s == "RTS on";
        })) << type;
    }
}

TEST_F(ProbeOnCom6, APortThatCannotBeOpenedEndsTheProbeAtOnce) {
    CSerialCom holder;
    ASSERT_TRUE(holder.Open(6));
    SerialComProbeLine line(com, 6, 0);
    ScannerRate r = detectScannerRate(line);
    EXPECT_TRUE(r.openError);
    EXPECT_FALSE(r.found);
    EXPECT_NE(line.openFailure().find("COM6"), std::string::npos) << line.openFailure();
    EXPECT_NE(line.openFailure().find("in use"), std::string::npos) << line.openFailure();
    holder.Close();
    EXPECT_EQ(requestsSeen(), 0u);

    SerialComProbeLine missing(com, 9, 0);
    EXPECT_TRUE(detectScannerRate(missing).openError);
    EXPECT_EQ(missing.openFailure().rfind("COM9 is not in the port map", 0), 0u)
        << missing.openFailure();
}

TEST_F(ProbeOnCom6, ACancelledJobStopsAfterTheRateItWasAt) {
    platform::CancelFlag cancel;
    cancel.set();
    ScannerRate r = probe(0, &cancel);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.found);
    ASSERT_TRUE(scanner.line().waitReceived(kFind.size(), std::chrono::milliseconds(2000)));
    EXPECT_EQ(requestsSeen(), 1u);
    EXPECT_FALSE(com.IsOpen());
}
