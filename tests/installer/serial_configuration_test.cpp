#include <gtest/gtest.h>

#include <optional>
#include <thread>
#include <vector>

#include "installer/engine/serial_configuration.h"
#include "platform/port_map.h"
#include "sim/sim_line.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using namespace fenwald;

namespace {

constexpr int kPort = 5;

// The real port, with every Write call's count noted.
struct CountingPort : CSerialPort {
    std::vector<int> writes;
    int Write(const void* buffer, int count) override {
        writes.push_back(count);
        return CSerialPort::Write(buffer, count);
    }
};

// A scanner that takes the whole message and then gives its answer, if any.
struct ConfigurationOnLine : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::SimLine line;
    CountingPort port;
    std::thread scanner;
    std::vector<std::string> journal;

    void SetUp() override {
        ASSERT_TRUE(line.open());
        ASSERT_TRUE(platform::registerPort(env.mapFile(), {kPort, line.devicePath(), ""}));
        port.Open(kPort);
    }
    void TearDown() override {
        if (scanner.joinable()) scanner.join();
    }

    void answerWith(std::optional<std::uint8_t> answer, std::size_t messageLength) {
        scanner = std::thread([this, answer, messageLength] {
            std::vector<std::uint8_t> message(messageLength);
            if (line.readExact(message.data(), messageLength, 3000ms) && answer)
                line.send(&*answer, 1);
        });
    }
    // The 500 ms are the scanner's: they end once it has answered.
    ConfigurationPause untilAnswered() {
        return [this](std::chrono::milliseconds wait) {
            journal.push_back("wait " + std::to_string(wait.count()));
            scanner.join();
        };
    }
    // The answer has been sent when the wait ends, yet reaches the port a moment later.
    void readWithin3s() { port.SetTimeouts({0, 0, 3000, 0, 0}); }
};

}  // namespace

TEST_F(ConfigurationOnLine, EveryByteGoesInAWriteOfItsOwnAndAckIsAccepted) {
    readWithin3s();
    answerWith(kAck, 7);
    auto result = SendConfigurationSerial(port, "ABC", true, untilAnswered());
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.message,
              (ConfigurationMessage{" Information", "Scanner Configured succesfully!",
                                    platform::Report::Severity::Information}));
    EXPECT_EQ(line.received(), (sim::Bytes{0x1B, 0x41, 0x42, 0x43, 0x5A, 0x32, 0x0D}));
    EXPECT_EQ(port.writes, std::vector<int>(7, 1));
    EXPECT_EQ(journal, std::vector<std::string>{"wait 500"});
}

TEST_F(ConfigurationOnLine, WithoutMakePermanentNoZ2AndTheBytesGoAsTheyAre) {
    readWithin3s();
    answerWith(kAck, 5);
    EXPECT_TRUE(SendConfigurationSerial(port, "ABC", false, untilAnswered()).accepted);
    EXPECT_EQ(line.received(), (sim::Bytes{0x1B, 0x41, 0x42, 0x43, 0x0D}));
    EXPECT_EQ(port.writes, std::vector<int>(5, 1));

    line.clearReceived();
    answerWith(kAck, 5);
    EXPECT_TRUE(SendConfigurationSerial(port, "\n\xFF\r", false, untilAnswered()).accepted);
    EXPECT_EQ(line.received(), (sim::Bytes{0x1B, 0x0A, 0xFF, 0x0D, 0x0D}));
}

TEST_F(ConfigurationOnLine, AnyOtherAnswerOrNoneIsNotAccepted) {
    const ConfigurationMessage refused{" Error", "Scanner does not accept configuration.",
                                       platform::Report::Severity::Error};
    readWithin3s();
    answerWith(0x15, 7);
    auto nak = SendConfigurationSerial(port, "ABC", true, untilAnswered());
    EXPECT_FALSE(nak.accepted);
    EXPECT_EQ(nak.message, refused);

    port.SetImmediateRead();  // as the scanner's detection leaves the line
    line.clearReceived();
    answerWith(std::nullopt, 7);
    auto silence = SendConfigurationSerial(port, "ABC", true, untilAnswered());
    EXPECT_FALSE(silence.accepted);
    EXPECT_EQ(silence.message, refused);
}

TEST_F(ConfigurationOnLine, NothingIsSentWithoutAConfigurationOrALine) {
    auto empty = SendConfigurationSerial(port, "", true, untilAnswered());
    EXPECT_FALSE(empty.accepted);
    EXPECT_EQ(empty.message.caption, " Error");
    EXPECT_EQ(empty.message.text, "Configuration file is empty.");

    port.Close();
    auto noLine = SendConfigurationSerial(port, "ABC", true, untilAnswered());
    EXPECT_EQ(noLine.message, (ConfigurationMessage{" No Scanner selected", "Select Scanner first!",
                                                    platform::Report::Severity::Error}));
    // The empty configuration is named first.
    EXPECT_EQ(SendConfigurationSerial(port, "", true).message.text, "Configuration file is empty.");
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(line.received().empty());
}

TEST_F(ConfigurationOnLine, ALostLineThrowsForTheCallerToShow) {
    line.close();
    EXPECT_THROW(SendConfigurationSerial(port, "ABC", true, untilAnswered()), CSerialException);
}
