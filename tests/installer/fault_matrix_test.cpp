// `fenwald` against every way a scanner or its line fails: the line the user reads last, the
// exit status, an end within the job's own time-outs, nothing left in the temporary folder, and
// the next job on the same port succeeding.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "sim/scanner_device.h"
#include "tests/installer/component_test_support.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using testenv::Outcome;

namespace {

enum class Job { Download, Versions };

struct Matrix;

struct Cell {
    const char* name;
    Job job;
    std::function<void(Matrix&)> arrange;
    std::function<void(Matrix&)> during;
    int status;
    std::string lastError;  // the last line of standard error, exactly
};

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.name;
}

struct Matrix : ::testing::TestWithParam<Cell> {
    testenv::IsolatedPorts env;
    testenv::ChildProgram fenwald{FENWALD_BINARY, env.dir()};
    std::unique_ptr<sim::ScannerDevice> scanner = std::make_unique<sim::ScannerDevice>();
    std::string work = env.dir().file("work");
    std::string firmware;
    platform::SerialDevice holder;

    void SetUp() override {
        ASSERT_TRUE(std::filesystem::create_directory(work));
        ASSERT_TRUE(scanner->start(env.mapFile(), 3, "Veltrix Scanner (COM3)"));
        ASSERT_EQ(scanner->command("reply Z1 V1.0\\r"), "ok");
        firmware = env.dir().file("app.hex");
        testenv::writeFile(firmware, testcomponents::intelHex(testcomponents::randomBytes(3000)));
    }

    std::vector<std::string> args() const {
        if (GetParam().job == Job::Download) return {"download", firmware, "--port", "3"};
        return {"versions", "--port", "3"};
    }
    void fault(const std::string& name) {
        ASSERT_EQ(scanner->command("fault " + name), "ok") << name;
    }
    void vanishWhenTheFileFlows() {
        ASSERT_TRUE(
            testenv::eventually([&] { return scanner->line().received().size() > 2000; }, 30s));
        scanner->vanish();
    }
    // Long enough a transfer for the line to go in the middle of it.
    void bigFirmware() {
        testenv::writeFile(firmware,
                           testcomponents::intelHex(testcomponents::randomBytes(400 * 1024)));
    }
    void holdThePort() { ASSERT_TRUE(holder.open(platform::findPort(3)->devicePath)); }
    void runAsAnotherUser() {
        env.shareWithAnotherUser({work, firmware});
        fenwald.runAsNobody(true);
    }
};

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && t.back() == '\n') t.pop_back();
    auto nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

const char* const kHeld =
    "COM3 is in use by installer_tests (pid <pid>): close that program first.";

}  // namespace

TEST_P(Matrix, EndsAsTheUserIsToldAndTheNextJobRuns) {
    const Cell& c = GetParam();
    // Only root can run the program as another user; root itself is never refused a device.
    if (std::string(c.name).find("Permission") != std::string::npos &&
        !testenv::canRunAsAnotherUser())
        GTEST_SKIP() << "needs root, and scratch folders another user can reach";
    if (c.arrange) c.arrange(*this);
    fenwald.start(args(), {}, work);
    if (c.during) c.during(*this);
    Outcome r = fenwald.wait(120s);
    ASSERT_NE(r.status, -1) << "no end within two minutes:\n" << r.out << r.err;
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    auto port = platform::findPort(3);
    const std::string last =
        lastLine(testenv::withPlaceholders(r.err, port ? port->devicePath : ""));
    EXPECT_TRUE(testenv::matchesLine(last, c.lastError)) << last << "\n" << r.out << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(env.tempDir())) << "left in the temporary folder";
    // "Installed" is true only when the scanner has the file by the time the program ends
    // (the scanner keeps it before its last ACK reaches the program).
    if (c.status == 0 && c.job == Job::Download) {
        auto got = scanner->firmware();
        ASSERT_TRUE(got.has_value()) << "installed, but the scanner holds no file yet";
        EXPECT_EQ(std::string(got->bytes.begin(), got->bytes.end()), testenv::readFile(firmware));
        scanner->line().setPacing(false);
    }

    holder.close();
    fenwald.runAsNobody(false);
    if (!platform::findPort(3)) {  // plugged in again
        scanner = std::make_unique<sim::ScannerDevice>();
        ASSERT_TRUE(scanner->start(env.mapFile(), 3, "Veltrix Scanner (COM3)"));
        ASSERT_EQ(scanner->command("reply Z1 V1.0\\r"), "ok");
    }
    scanner->command("fault none");
    scanner->command("silent off");
    scanner->command("reply Z1 V1.0\\r");
    Outcome next = fenwald.run(args(), work);
    EXPECT_EQ(next.status, 0) << next.out << next.err;
    if (c.job == Job::Download) {
        ASSERT_TRUE(testenv::eventually([&] { return scanner->firmware().has_value(); }));
        auto got = scanner->firmware();
        EXPECT_EQ(std::string(got->bytes.begin(), got->bytes.end()), testenv::readFile(firmware));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fenwald, Matrix,
    ::testing::Values(
        Cell{"NoAnswerToTheRequest",
             Job::Download,
             [](Matrix& m) { m.fault("mute-ack"); },
             {},
             1,
             "The scanner on COM3 did not answer the firmware request"},
        Cell{"TheRequestRefused",
             Job::Download,
             [](Matrix& m) { m.fault("bad-ack"); },
             {},
             1,
             "The scanner on COM3 refused the firmware request"},
        Cell{"TheFileNeverAskedFor",
             Job::Download,
             [](Matrix& m) { m.fault("fw-silence"); },
             {},
             1,
             "The scanner stopped answering during the download of app.hex (no request from the "
             "receiver for the start within 10000 ms)"},
        Cell{"EveryBlockRejected",
             Job::Download,
             [](Matrix& m) { m.fault("fw-nak"); },
             {},
             1,
             "The scanner refused the blocks of app.hex (the receiver refused the header of "
             "app.hex 5 times)"},
        Cell{"TheScannerCancels",
             Job::Download,
             [](Matrix& m) { m.fault("fw-cancel"); },
             {},
             1,
             "The scanner cancelled the download of app.hex (the receiver cancelled at the header "
             "of app.hex)"},
        Cell{"StrayAcksWhileBlocksGoOut",
             Job::Download,
             [](Matrix& m) {
                 testenv::writeFile(m.firmware,
                                    testcomponents::intelHex(testcomponents::randomBytes(2000)));
                 m.fault("fw-stray-ack");
                 m.scanner->line().setPacing(true);  // the blocks take their time to arrive
             },
             {},
             0,
             ""},
        Cell{"TheLineVanishes", Job::Download, [](Matrix& m) { m.bigFirmware(); },
             [](Matrix& m) { m.vanishWhenTheFileFlows(); }, 1,
             "The line to COM3 was lost during the download of app.hex (the line failed at "
             "block ..."},
        Cell{"ThePortIsHeld", Job::Download, [](Matrix& m) { m.holdThePort(); }, {}, 1, kHeld},
        Cell{"NoPermission",
             Job::Download,
             [](Matrix& m) { m.runAsAnotherUser(); },
             {},
             1,
             "<device>: permission denied. Join the group '<group>' (sudo usermod -aG <group> "
             "$USER) and log in again."},
        Cell{"ASilentScanner",
             Job::Versions,
             [](Matrix& m) { ASSERT_EQ(m.scanner->command("silent on"), "ok"); },
             {},
             1,
             "No scanner answered on COM3 at any rate"},
        Cell{"AVersionReplyWithoutItsEnd",
             Job::Versions,
             [](Matrix& m) { ASSERT_EQ(m.scanner->command("reply Z1 V1.0"), "ok"); },
             {},
             1,
             "The scanner sent no version (its reply did not end): V1.0"},
        Cell{"AnEmptyVersionReply",
             Job::Versions,
             [](Matrix& m) { ASSERT_EQ(m.scanner->command("reply Z1 \\r"), "ok"); },
             {},
             1,
             "The scanner sent no version"},
        Cell{"VersionsOnAHeldPort",
             Job::Versions,
             [](Matrix& m) { m.holdThePort(); },
             {},
             1,
             kHeld}),
    [](const ::testing::TestParamInfo<Cell>& info) { return std::string(info.param.name); });
