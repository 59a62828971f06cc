// Finding the scanner for the configuration dialog on CSerialPort, against the simulated
// scanner; the scanner list's rules; the start file's rules.
#include "installer/engine/scanner_connection.h"

#include <gtest/gtest.h>

#include "installer/engine/start_file.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

using namespace fenwald;
using namespace std::chrono_literals;

namespace {

const std::string kFind = "\x1bWC\r";
const std::string kReady =
    "\x1b"
    "B\r";

struct ConnectionOnCom6 : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    CSerialPort port;
    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 6, "Veltrix Scanner (COM6)"));
    }
    std::string received() {
        auto r = scanner.line().received();
        return std::string(r.begin(), r.end());
    }
};

}  // namespace

TEST_F(ConnectionOnCom6, AScannerAt19200IsFoundThereAndLeftOpenAfterEscB) {
    scanner.setOwnRates({19200});
    ScannerConnection c = DetectScannerRate(port, 6);
    ASSERT_TRUE(c.found);
    EXPECT_FALSE(c.message);
    EXPECT_EQ(c.rate, 19200u);
    EXPECT_EQ(c.portLabel(), "COM 6");
    EXPECT_EQ(c.rateLabel(), "19200 bps");
    EXPECT_TRUE(port.IsOpen());
    // Every rate is asked (a second answer could still come), then ESC B CR at the one found.
    ASSERT_TRUE(scanner.line().waitReceived(9 * kFind.size() + kReady.size(), 2000ms));
    std::string expected;
    for (int i = 0; i < 9; ++i) expected += kFind;
    EXPECT_EQ(received(), expected + kReady);
}

TEST_F(ConnectionOnCom6, AnswersAt9600And115200GiveTheSecondAndNotApplicable) {
    scanner.setOwnRates({9600, 115200});
    ScannerConnection c = DetectScannerRate(port, 6);
    ASSERT_TRUE(c.found);
    EXPECT_TRUE(c.severalAnswered);
    EXPECT_EQ(c.rate, 115200u);
    EXPECT_EQ(c.rateLabel(), "N/A");
}

TEST_F(ConnectionOnCom6, NobodyAnsweringIsNoMessageAndAMissingPortIsCannotOpen) {
    scanner.line().setSilent(true);
    ScannerConnection c = DetectScannerRate(port, 6);
    EXPECT_FALSE(c.found);
    EXPECT_FALSE(c.message);
    EXPECT_FALSE(port.IsOpen());

    c = DetectScannerRate(port, 9);  // not in the port map
    EXPECT_FALSE(c.found);
    ASSERT_TRUE(c.message);
    EXPECT_EQ(c.message->caption, " Error");
    EXPECT_EQ(c.message->text, "Cannot open comport.");
    EXPECT_FALSE(port.IsOpen());
}

TEST_F(ConnectionOnCom6, ACancelledSearchEndsWithTheLineClosed) {
    scanner.line().setSilent(true);
    platform::CancelFlag cancel;
    cancel.set();
    ScannerConnection c = DetectScannerRate(port, 6, &cancel);
    EXPECT_TRUE(c.cancelled);
    EXPECT_FALSE(c.found);
    EXPECT_FALSE(port.IsOpen());
}

TEST(ScannerList, TheComNumberOfAnEntry) {
    EXPECT_EQ(portNumberOfEntry("USB Serial Port (COM12)"), 12);
    EXPECT_EQ(portNumberOfEntry("Veltrix Scanner (COM3)"), 3);
    EXPECT_EQ(portNumberOfEntry("COM7"), 7);  // a port without a display name
    EXPECT_EQ(portNumberOfEntry("com7 (lower case)"), 0);
    EXPECT_EQ(portNumberOfEntry("Bluetooth"), 0);
}

TEST(ScannerList, ARememberedNameIsAPrefixIgnoringCaseAndTheFirstEntryIsTriedLast) {
    const std::vector<std::string> list = {"COM1", "USB Serial Port (COM12)",
                                           "usb serial port (COM5)"};
    EXPECT_EQ(findPortEntry(list, "USB Serial Port (COM12)"), 1u);
    EXPECT_EQ(findPortEntry(list, "usb serial"), 1u);
    EXPECT_EQ(findPortEntry(list, "USB SERIAL PORT (COM5"), 2u);
    EXPECT_EQ(findPortEntry(list, "COM"), 0u);  // only the first begins with it
    EXPECT_EQ(findPortEntry({"COM3 a", "COM3 b"}, "com3"), 1u);
    EXPECT_FALSE(findPortEntry(list, "COM9"));
    EXPECT_FALSE(findPortEntry(list, ""));
}

TEST(StartFile, QuotesAndBlanksAreStrippedInTheirOrder) {
    EXPECT_EQ(startFileOf("  \"/tmp/a b.hex\"  "), "/tmp/a b.hex");
    EXPECT_EQ(startFileOf("\"\"x.bin\"\""), "x.bin");
    // Blanks inside the quotes stay: blanks go before the quotes do.
    EXPECT_EQ(startFileOf("\" a.hex \""), " a.hex ");
    EXPECT_EQ(startFileOf("   "), "");
}

TEST(StartFile, OnlyANameEndingInLowerCaseVscAtItsFirstVscIsAConfiguration) {
    EXPECT_TRUE(isConfigurationFile("/home/u/a.vsc"));
    EXPECT_FALSE(isConfigurationFile("a.VSC"));
    EXPECT_FALSE(isConfigurationFile("a.vsc.bak"));
    EXPECT_FALSE(isConfigurationFile("a.vsc.vsc"));
    EXPECT_FALSE(isConfigurationFile("a.hex"));
}

TEST(StartFile, TheCommandLineIsSplitAtBlanksOutsideQuotes) {
    EXPECT_EQ(splitCommandLine("fenwald.exe  \"C:\\my files\\a.hex\"  x"),
              (std::vector<std::string>{"fenwald.exe", "C:\\my files\\a.hex", "x"}));
    // A quote not followed by a blank belongs to the argument.
    EXPECT_EQ(splitCommandLine("p \"a\"b c\""), (std::vector<std::string>{"p", "a\"b c"}));
    EXPECT_EQ(splitCommandLine("p \"open"), (std::vector<std::string>{"p", "open"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}
