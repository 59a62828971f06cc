// `pictavo capture` against every way a scanner or its line fails: the messages the user reads,
// the exit status, an end within the job's own time-outs, no temporary file left, and the next
// capture in the same process arriving whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "picture/cli/pictavo_cli.h"
#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "sim/scanner_device.h"
#include "tests/picture/picture_test_support.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct Matrix;

struct Cell {
    const char* name;
    std::function<void(Matrix&)> arrange;
    int status;
    std::string err;  // standard error, exactly
};

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.name;
}

const std::string kLost =
    "The line to COM5 was lost: check that the scanner is plugged in and its port is still in "
    "the port map.\n";

struct Matrix : ::testing::TestWithParam<Cell> {
    testenv::IsolatedPorts env;
    std::unique_ptr<sim::ScannerDevice> scanner = std::make_unique<sim::ScannerDevice>();
    std::atomic<bool> interrupted{false};
    std::vector<std::string> extra;
    platform::SerialDevice holder;
    bool anotherUser = false;

    void SetUp() override {
        ASSERT_TRUE(scanner->start(env.mapFile(), 5, "Veltrix 2D Scanner (COM5)"));
        scanner->setBlockSize(500);
        devicePath = platform::findPort(5)->devicePath;
    }
    std::string devicePath;
    std::string output() const { return env.dir().file("picture.jpg"); }
    std::vector<std::string> args() const {
        std::vector<std::string> a = {"capture",  "--port",    "5",        "--no-snapshot",
                                      "--window", "0,0,79,59", "--output", output()};
        a.insert(a.end(), extra.begin(), extra.end());
        return a;
    }
    testenv::Outcome capture() {
        if (anotherUser) {
            testenv::ChildProgram pictavo(PICTAVO_BINARY, env.dir());
            pictavo.runAsNobody(true);
            pictavo.start(args());
            return pictavo.wait(60s);
        }
        std::ostringstream out, err;
        serial::cli::Console console{out, err, false, &interrupted};
        int status = serial::cli::run(pictavo::cli::program(), args(), console);
        return {status, out.str(), err.str()};
    }
    void vanishAt(int block) { scanner->setFaults({.vanishAtBlock = block}); }
    void holdThePort() { ASSERT_TRUE(holder.open(platform::findPort(5)->devicePath)); }
    void runAsAnotherUser() {
        // The child reads the port map from the scratch folder and writes its picture there.
        env.shareWithAnotherUser();
        anotherUser = true;
    }
};

}  // namespace

TEST_P(Matrix, EndsAsTheUserIsToldAndTheNextCaptureArrives) {
    const Cell& c = GetParam();
    // Only root can run the program as another user; root itself is never refused a device.
    if (std::string(c.name).find("Permission") != std::string::npos &&
        !testenv::canRunAsAnotherUser())
        GTEST_SKIP() << "needs root, and scratch folders another user can reach";
    c.arrange(*this);
    testenv::Outcome r = capture();
    ASSERT_NE(r.status, -1) << "no end within a minute";
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(testenv::withPlaceholders(r.err, devicePath), c.err);
    if (r.status == 0) {
        // A fault the capture rides out: the picture is whole.
        const auto sent = scanner->lastPicture();
        EXPECT_EQ(testenv::readFile(output()), std::string(sent.begin(), sent.end()));
        std::filesystem::remove(output());
    } else {
        EXPECT_FALSE(std::filesystem::exists(output()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(env.tempDir())) << "a temporary file is left";

    holder.close();
    anotherUser = false;
    extra.clear();
    scanner->setFaults({});
    scanner->command("silent off");
    if (!platform::findPort(5)) {  // plugged in again
        scanner = std::make_unique<sim::ScannerDevice>();
        ASSERT_TRUE(scanner->start(env.mapFile(), 5, "Veltrix 2D Scanner (COM5)"));
    }
    testenv::Outcome next = capture();
    EXPECT_EQ(next.status, 0) << next.err;
    const auto sent = scanner->lastPicture();
    EXPECT_EQ(testenv::readFile(output()), std::string(sent.begin(), sent.end()));
}

const std::string kBlockError =
    "Initializing...\nReceiveDataBlockError\nNo picture: a data block was missing or badly "
    "framed.\n";

INSTANTIATE_TEST_SUITE_P(
    Pictavo, Matrix,
    ::testing::Values(
        Cell{"GarbageBeforeABlock",
             [](Matrix& m) { m.scanner->setFaults({.noiseBeforeBlock = 2}); }, 0,
             "Initializing...\n"},
        Cell{"ABadlyFramedBlock", [](Matrix& m) { m.scanner->setFaults({.badEndBlock = 2}); }, 1,
             kBlockError},
        Cell{"AMissingBlock", [](Matrix& m) { m.scanner->setFaults({.missingBlock = 1}); }, 1,
             kBlockError},
        Cell{"AnOversizedBlock", [](Matrix& m) { m.scanner->setFaults({.oversizeBlock = 1}); }, 1,
             kBlockError},
        Cell{"AShortHeader", [](Matrix& m) { m.scanner->setFaults({.shortHeader = true}); }, 1,
             "Initializing...\nNo picture: the scanner's header block could not be read.\n"},
        Cell{"Silence",
             [](Matrix& m) {
                 m.scanner->command("silent on");
                 m.extra = {"--timeout", "3"};
             },
             1, "Initializing...\nNo picture within 3 s: the capture is cancelled.\n"},
        Cell{"TheLineVanishes", [](Matrix& m) { m.vanishAt(2); }, 1,
             "Initializing...\nReceiveDataBlockError\n" + kLost +
                 "No picture: the line to the scanner was lost.\n"},
        Cell{"ThePortIsHeld", [](Matrix& m) { m.holdThePort(); }, 1,
             "Initializing...\nCannot open COM port\nCOM5 is in use by picture_tests (pid <pid>): "
             "close that program first.\nInitialization Failed.\n"},
        Cell{"NoPermission", [](Matrix& m) { m.runAsAnotherUser(); }, 1,
             "Initializing...\nCannot open COM port\n<device>: permission denied. Join the group "
             "'<group>' (sudo usermod -aG <group> $USER) and log in again.\nInitialization "
             "Failed.\n"}),
    [](const ::testing::TestParamInfo<Cell>& info) { return std::string(info.param.name); });
