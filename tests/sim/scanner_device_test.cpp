#include <gtest/gtest.h>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "sim/device_kinds.h"
#include "sim/jpeg_encoder.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct ScannerOnCom8 : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    platform::SerialDevice program;

    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 8, "Veltrix 2D Scanner (COM8)"));
        ASSERT_TRUE(program.open(platform::findPort(8)->devicePath));
        ASSERT_TRUE(
            program.setLineSettings({115200, 8, platform::parity::None, platform::stopbits::One}));
    }
    std::string ask(const std::string& out, std::chrono::milliseconds quiet = 300ms) {
        program.write(out.data(), out.size(), 1000ms);
        std::string in;
        char c;
        while (program.readExact(&c, 1, quiet) == 1) in += c;
        return in;
    }
};

const sim::DeviceKind& scannerKind() {
    for (const auto& k : sim::deviceKinds())
        if (std::string(k.name) == "scanner") return k;
    throw std::runtime_error("no scanner kind");
}

}  // namespace

TEST_F(ScannerOnCom8, AnswersCommandsOnlyAtThePictureRateAndItsOwn) {
    EXPECT_EQ(ask("\x1bZ1\r"), "Veltrix 2D Imager SIM V1.10\r");
    EXPECT_EQ(ask("\x1b[OOUQ1Q0\r"), "CAMERA OK\r");
    EXPECT_EQ(ask("\x1b?\r"), "");
    EXPECT_EQ(scanner.command("reply Z1 V\\x32\\s\\r"), "ok");
    EXPECT_EQ(ask("\x1bZ1\r"), "V2 \r");
    ASSERT_TRUE(
        program.setLineSettings({19200, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(ask("\x1bZ1\r"), "");
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(ask("\x1bZ1\r"), "V2 \r");
}

TEST_F(ScannerOnCom8, ASnapshotRequestWaitsForTheTriggerCommandOrEscZ) {
    EXPECT_EQ(scanner.trigger(), "ignored: not waiting for a trigger");
    const std::string request = "\x1b((\r@VELT,   0,   0,  15,   7,1,8,0, 65,1,3,0,0#";
    program.write(request.data(), request.size(), 1000ms);
    ASSERT_TRUE(testenv::eventually(
        [&] { return scanner.command("status").find("waiting") != std::string::npos; }));
    char c;
    EXPECT_EQ(program.readExact(&c, 1, 200ms), 0u);
    program.write("\x1bZ\r", 3, 1000ms);
    std::vector<char> header(10 + 128);
    ASSERT_EQ(program.readExact(header.data(), header.size(), 2000ms), header.size());
    EXPECT_EQ(std::string(header.data(), 7), std::string(":\0\0\0\0\0\x80", 7));
    EXPECT_EQ(header.back(), '\r');
    ASSERT_EQ(scanner.requests().size(), 1u);
    EXPECT_EQ(scanner.requests()[0].text, request);
    EXPECT_FALSE(scanner.requests()[0].jpeg);
    EXPECT_EQ(scanner.lastPicture().size(), 16u * 8u);
    program.write("\x06", 1, 1000ms);  // the one data block follows the header's ACK
    std::vector<char> data(10 + 128);
    ASSERT_EQ(program.readExact(data.data(), data.size(), 2000ms), data.size());
    EXPECT_EQ(std::vector<std::uint8_t>(data.begin() + 7, data.end() - 3), scanner.lastPicture());
}

TEST_F(ScannerOnCom8, TheInstallersCommandsAreUnderstoodAtItsOwnRatesOnly) {
    auto at = [&](unsigned baud) {
        return program.setLineSettings({baud, 8, platform::parity::None, platform::stopbits::One});
    };
    EXPECT_EQ(ask("\x1bWC\r"), "");  // 115200 is the picture's rate, not its own
    ASSERT_TRUE(at(9600));
    EXPECT_EQ(ask("\x1bWC\r"), "\x06");
    const std::string request = "\x1b((\r@VELT,   0,   0,  15,   7,1,8,0, 65,0,3,0,0#";
    EXPECT_EQ(ask(request), "");  // no picture at 9600
    EXPECT_TRUE(scanner.requests().empty());

    EXPECT_EQ(scanner.command("rate 19200,57600"), "ok");
    EXPECT_EQ(ask("\x1bWC\r"), "");
    ASSERT_TRUE(at(57600));
    EXPECT_EQ(ask("\x1bWC\r"), "\x06");
    ASSERT_TRUE(at(19200));
    EXPECT_EQ(ask("\x1bT20240229235958\r"), "\x06");
    EXPECT_EQ(ask("\x1bT2024022923595\r"), "");  // 13 digits: not a time
    EXPECT_EQ(ask("\x1bT2024022923595x\r"), "");
    EXPECT_EQ(scanner.timesSet(), std::vector<std::string>{"20240229235958"});
    // Anything else at its own rate is a configuration; one with the rate marker moves it.
    EXPECT_EQ(ask("\x1b"
                  "B\r"),
              "");
    EXPECT_EQ(ask("\x1b"
                  "BEEP=ONrate=57600Z2\r"),
              "\x06");
    ASSERT_EQ(scanner.configurations().size(), 1u);
    EXPECT_TRUE(scanner.configurations()[0].permanent);
    EXPECT_EQ(scanner.ownRates(), std::vector<unsigned>{57600});
    EXPECT_EQ(scanner.command("configuration"), "configuration permanent BEEP=ONrate=57600Z2");
    EXPECT_EQ(scanner.command("rate 19200,57600"), "ok");
    EXPECT_NE(scanner.command("status").find("rate 19200,57600"), std::string::npos);
    EXPECT_EQ(scanner.command("rate 0"), "error: rate needs baud rates such as 9600 or 9600,19200");
    EXPECT_EQ(scanner.ownRates(), (std::vector<unsigned>{19200, 57600}));
}

TEST_F(ScannerOnCom8, AckFaultsAnswerTheFirmwareRequestAndTheTimeWithANakOrNothing) {
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(scanner.command("fault bad-ack"), "ok");
    EXPECT_EQ(ask("\x1b"
                  "FW\r"),
              "\x15");
    EXPECT_EQ(ask("\x1bT20240101000000\r"), "\x15");
    EXPECT_EQ(ask("\x1bWC\r"), "\x06");  // still to be found
    EXPECT_EQ(scanner.command("fault none"), "ok");
    EXPECT_EQ(scanner.command("fault mute-ack"), "ok");
    EXPECT_EQ(ask("\x1b"
                  "FW\r"),
              "");
    EXPECT_EQ(ask("\x1bT20240101000000\r"), "");
    EXPECT_TRUE(scanner.timesSet().empty());
    EXPECT_EQ(scanner.firmwareRequests(), 2);
    EXPECT_EQ(scanner.command("firmware"), "no firmware");
    EXPECT_EQ(scanner.command("save-firmware /tmp/x"), "error: no firmware received");
}

TEST_F(ScannerOnCom8, TransferFaultsNakEveryBlockOrCancelOnTheFirst) {
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(scanner.command("fault fw-nak"), "ok");
    EXPECT_EQ(ask("\x1b"
                  "FW\r"),
              "\x06"
              "C");
    const std::string block(133, '\x01');
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ask(block), "\x15") << i;
    EXPECT_EQ(ask("\x18\x18"), "");  // the sender gives up
    EXPECT_EQ(scanner.command("fault none"), "ok");
    EXPECT_EQ(scanner.command("fault fw-cancel"), "ok");
    EXPECT_EQ(ask("\x1b"
                  "FW\r"),
              "\x06"
              "C");
    EXPECT_EQ(ask(block), "\x18\x18\x18");
    EXPECT_EQ(scanner.command("fault none"), "ok");
    EXPECT_EQ(scanner.command("fault fw-silence"), "ok");
    EXPECT_EQ(ask("\x1b"
                  "FW\r",
                  500ms),
              "\x06");
    EXPECT_EQ(ask("\x1bWC\r"), "\x06");
    EXPECT_FALSE(scanner.firmware());
}

TEST(ScannerKind, TakesItsControlCommandsAsOptions) {
    std::string error;
    EXPECT_TRUE(scannerKind().make({"--fault", "missing=3", "--fault", "divisor0", "--reply",
                                    "Z1=V9\\r", "--block-size", "100", "--jpeg-size", "5000"},
                                   error))
        << error;
    EXPECT_TRUE(scannerKind().make({"--rate", "19200,9600", "--fault", "fw-nak"}, error)) << error;
    EXPECT_FALSE(scannerKind().make({"--rate", "fast"}, error));
    EXPECT_FALSE(scannerKind().make({"--fault", "sideways"}, error));
    EXPECT_EQ(error, "unknown fault: sideways");
    EXPECT_FALSE(scannerKind().make({"--block-size", "2000"}, error));
    EXPECT_FALSE(scannerKind().make({"--jpeg", "/no/such.jpg"}, error));
    EXPECT_FALSE(scannerKind().make({"--reply", "Z1"}, error));
    EXPECT_FALSE(scannerKind().make({"--colour"}, error));
}

TEST(JpegEncoder, PaddingReachesTheExactSizeWithCommentSegments) {
    auto grey = sim::generateGreyPicture(40, 24);
    auto jpeg = sim::encodeGreyJpeg(grey.data(), 40, 24, 75);
    ASSERT_GT(jpeg.size(), 300u);
    EXPECT_EQ(jpeg[0], 0xFF);
    EXPECT_EQ(jpeg[1], 0xD8);
    EXPECT_EQ(jpeg[jpeg.size() - 2], 0xFF);
    EXPECT_EQ(jpeg[jpeg.size() - 1], 0xD9);
    for (std::size_t size :
         {jpeg.size(), jpeg.size() + 4, jpeg.size() + 70000, std::size_t(102400)}) {
        auto padded = sim::padJpeg(jpeg, size);
        EXPECT_EQ(padded.size(), size);
        EXPECT_EQ(std::vector<std::uint8_t>(padded.end() - long(jpeg.size() - 2), padded.end()),
                  std::vector<std::uint8_t>(jpeg.begin() + 2, jpeg.end()));
    }
    EXPECT_EQ(sim::padJpeg(jpeg, jpeg.size() + 2).size(),
              jpeg.size());  // too little room for a segment
}

TEST_F(ScannerOnCom8, AWindowSpanningTheWholeNumberRangeGivesTheSmallestPicture) {
    // x1 - x0 overflows an int; the picture is one pixel wide, as for any backwards window.
    const std::string request =
        "\x1b((\r@VELT,2147483647,-2147483648,-2147483648,2147483647,1,8,0, 65,0,3,0,0#";
    program.write(request.data(), request.size(), 1000ms);
    std::vector<char> header(10 + 128);
    ASSERT_EQ(program.readExact(header.data(), header.size(), 2000ms), header.size());
    ASSERT_EQ(scanner.requests().size(), 1u);
    EXPECT_EQ(scanner.lastPicture().size(), 1u * sim::ScannerDevice::kPictureSideLimit);
}
