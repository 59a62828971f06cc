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

TEST_F(ScannerOnCom8, AnswersCommandsOnlyAtItsBaudRate) {
    EXPECT_EQ(ask("\x1bZ1\r"), "Veltrix 2D Imager SIM V1.10\r");
    EXPECT_EQ(ask("\x1b[OOUQ1Q0\r"), "CAMERA OK\r");
    EXPECT_EQ(ask("\x1b?\r"), "");
    EXPECT_EQ(scanner.command("reply Z1 V\\x32\\s\\r"), "ok");
    EXPECT_EQ(ask("\x1bZ1\r"), "V2 \r");
    ASSERT_TRUE(
        program.setLineSettings({9600, 8, platform::parity::None, platform::stopbits::One}));
    EXPECT_EQ(ask("\x1bZ1\r"), "");
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

TEST(ScannerKind, TakesItsControlCommandsAsOptions) {
    std::string error;
    EXPECT_TRUE(scannerKind().make({"--fault", "missing=3", "--fault", "divisor0", "--reply",
                                    "Z1=V9\\r", "--block-size", "100", "--jpeg-size", "5000"},
                                   error))
        << error;
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
