// Every job of `kolvane` against every way a device or its line fails: what the user reads last,
// the exit status, an end within the job's own time-outs, nothing left in the temporary folder,
// and a clean job on the same port right after.

#include <filesystem>
#include <functional>

#include "tests/download/download_session.h"
#include "tests/download/expected_lines.h"
#include "tests/support/child_program.h"

#include "platform/port_map.h"
#include "platform/serial_device.h"

using namespace std::chrono_literals;
using namespace dltest;

namespace {

using testenv::Outcome;

enum class Job { Blocks, Bootstrap };

struct Matrix;

struct Cell {
    const char* name;
    Job job;
    std::function<void(Matrix&)> arrange;  // before the job starts
    std::function<void(Matrix&)> during;   // while it runs
    int status;
    Lines tail;  // the last lines of standard output, exactly
};

void PrintTo(const Cell& c, std::ostream* os) {
    *os << c.name;
}

struct Matrix : ::testing::TestWithParam<Cell> {
    testenv::IsolatedPorts env;
    testenv::ChildProgram kolvane{KOLVANE_BINARY, env.dir()};
    std::unique_ptr<sim::Z7Device> z7;
    std::string image;
    platform::SerialDevice holder;

    void SetUp() override {
        sim::Z7Device::Options o;
        if (GetParam().job == Job::Bootstrap) o.mode = sim::Z7Device::Mode::Bootstrap;
        z7 = std::make_unique<sim::Z7Device>(o);
        ASSERT_TRUE(z7->start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
        image = writeImage(env.dir(), GetParam().job == Job::Blocks ? "Boot.bin" : "app.bin",
                           randomBytes(GetParam().job == Job::Blocks ? 40 : 64));
    }

    std::vector<std::string> args() const {
        std::vector<std::string> a = {"download", image, "--kind", "bootstrap"};
        if (GetParam().job == Job::Blocks)
            a = {"download", image, "--kind", "bin8k-old", "--kind", "mot-hex"};
        if (timeLimit) a.insert(a.end(), {"--timeout", "5"});
        return a;
    }
    // A device that never answers is only given up after every retry; the user's time limit
    // ends it sooner.
    void silentWithTimeLimit() {
        set("silent on");
        timeLimit = true;
    }
    bool timeLimit = false;
    void set(const std::string& command) { ASSERT_EQ(z7->command(command), "ok") << command; }
    // Waits until the job is under way on the line.
    void whenStarted(std::size_t bytes = 100) {
        ASSERT_TRUE(
            testenv::eventually([&] { return z7->line().received().size() >= bytes; }, 30s));
    }
    // The other users of the line: the owner of a stale lock, a user without the dialout group.
    void holdThePort() { ASSERT_TRUE(holder.open(platform::findPort(1)->devicePath)); }
    void runAsAnotherUser() {
        env.shareWithAnotherUser({image});
        kolvane.runAsNobody(true);
    }
};

const char* const kNoPermission =
    "<device>: permission denied. Join the group '<group>' (sudo usermod -aG <group> $USER) and "
    "log in again.";

const std::string kLost = kolvanetest::lineLost(1);

}  // namespace

TEST_P(Matrix, EndsAsTheUserIsToldAndTheNextJobRuns) {
    const Cell& c = GetParam();
    // Only root can run the program as another user; root itself is never refused a device.
    if (std::string(c.name).find("Permission") != std::string::npos &&
        !testenv::canRunAsAnotherUser())
        GTEST_SKIP() << "needs root, and scratch folders another user can reach";
    if (c.arrange) c.arrange(*this);
    kolvane.start(args());
    if (c.during) c.during(*this);
    Outcome r = kolvane.wait(120s);
    ASSERT_NE(r.status, -1) << "no end within two minutes:\n" << r.out;
    EXPECT_EQ(r.status, c.status) << r.out << r.err;
    Lines lines = r.lines();
    const std::string device = platform::findPort(1) ? platform::findPort(1)->devicePath : "";
    for (auto& l : lines) l = testenv::withPlaceholders(l, device);
    ASSERT_GE(lines.size(), c.tail.size()) << r.out;
    Lines tail(lines.end() - static_cast<std::ptrdiff_t>(c.tail.size()), lines.end());
    for (std::size_t i = 0; i < c.tail.size(); ++i)
        EXPECT_TRUE(testenv::matchesLine(tail[i], c.tail[i])) << tail[i] << "\n" << r.out;
    EXPECT_TRUE(std::filesystem::is_empty(env.tempDir())) << "left in the temporary folder";

    // The same port, the fault gone: the next job succeeds.
    holder.close();
    kolvane.runAsNobody(false);
    if (!z7->line().isOpen() || !platform::findPort(1)) {
        sim::Z7Device::Options o;
        if (c.job == Job::Bootstrap) o.mode = sim::Z7Device::Mode::Bootstrap;
        z7 = std::make_unique<sim::Z7Device>(o);
        ASSERT_TRUE(z7->start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
    } else {
        z7->command("fault none");
        for (const char* reset : {"silent off", "mute 0", "reject 0", "swap off", "unknown 0",
                                  "stray 0", "erase-busy 0", "stall 0"})
            z7->command(reset);
    }
    timeLimit = false;
    Outcome next = kolvane.run(args());
    EXPECT_EQ(next.status, 0) << next.out << next.err;
}

INSTANTIATE_TEST_SUITE_P(
    Kolvane, Matrix,
    ::testing::Values(
        // Block download.
        Cell{"GarbageBeforeAReply",
             Job::Blocks,
             [](Matrix& m) { m.set("stray 1"); },
             {},
             0,
             {"All the FROM writing completion"}},
        Cell{"AFrameTheDeviceCannotRead",
             Job::Blocks,
             [](Matrix& m) { m.set("reject 1"); },
             {},
             0,
             {"All the FROM writing completion"}},
        Cell{"EveryBlockRejected",
             Job::Blocks,
             [](Matrix& m) { m.set("reject 1000"); },
             {},
             1,
             {"1:Transfer failure (re-transfer start)", "Command practice fails."}},
        Cell{"AnUnknownReply",
             Job::Blocks,
             [](Matrix& m) { m.set("unknown 1"); },
             {},
             0,
             {"All the FROM writing completion"}},
        Cell{"EndlessUnknownReplies",
             Job::Blocks,
             [](Matrix& m) { m.set("unknown 100000"); },
             {},
             1,
             {"1:Unknown reply QZ: the limit of 256 retransmissions is used up",
              "Command practice fails."}},
        Cell{"SwappedReplies",
             Job::Blocks,
             [](Matrix& m) { m.set("swap on"); },
             {},
             0,
             {"All the FROM writing completion"}},
        Cell{"Silence",
             Job::Blocks,
             [](Matrix& m) { m.silentWithTimeLimit(); },
             {},
             1,
             {"Time limit of 5 s reached: the job is cancelled.", "Download cancelled at block ...",
              "Command practice fails."}},
        Cell{"OneFlashReportMissing",
             Job::Blocks,
             [](Matrix& m) { m.set("mute 1"); },
             {},
             0,
             {"All the FROM writing completion"}},
        Cell{"TheLineVanishes",
             Job::Blocks,
             [](Matrix& m) { m.set("stall 3000"); },
             [](Matrix& m) {
                 m.whenStarted(40);
                 m.z7->vanish();
             },
             1,
             {"RS line can't be used.", kLost, "Command practice fails."}},
        Cell{"ThePortIsHeld",
             Job::Blocks,
             [](Matrix& m) { m.holdThePort(); },
             {},
             1,
             {"COM1 is in use by ...", "Command practice fails."}},
        Cell{"NoPermission",
             Job::Blocks,
             [](Matrix& m) { m.runAsAnotherUser(); },
             {},
             1,
             {"RS line for Download can't be used.", kNoPermission, "Command practice fails."}},
        // Writing the flash through the monitor.
        Cell{"AnUnacknowledgedWrite",
             Job::Bootstrap,
             [](Matrix& m) { m.set("drop-ack 10010002"); },
             {},
             1,
             {"From Write failure: 1 of 1 chunks not written", "Command practice fails."}},
        Cell{"AnEraseThatNeverSettles",
             Job::Bootstrap,
             [](Matrix& m) { m.set("erase-busy stuck"); },
             {},
             1,
             {"0x10010000:From erase time out", "0x10010000:From pokew success", "",
              "From Write failure: 1 of 1 chunks not written", "Command practice fails."}},
        Cell{"SilentMonitor",
             Job::Bootstrap,
             [](Matrix& m) { m.silentWithTimeLimit(); },
             {},
             1,
             {"Time limit of 5 s reached: the job is cancelled.", "Download cancelled at block ...",
              "Command practice fails."}},
        Cell{"TheMonitorLineVanishes",
             Job::Bootstrap,
             {},
             [](Matrix& m) {
                 m.whenStarted(400);
                 m.z7->vanish();
             },
             1,
             {"RS line can't be used.", kLost, "Command practice fails."}},
        Cell{"TheMonitorPortIsHeld",
             Job::Bootstrap,
             [](Matrix& m) { m.holdThePort(); },
             {},
             1,
             {"COM1 is in use by ...", "Command practice fails."}},
        Cell{"NoPermissionOnTheMonitorPort",
             Job::Bootstrap,
             [](Matrix& m) { m.runAsAnotherUser(); },
             {},
             1,
             {"RS line for Download can't be used.", kNoPermission, "Command practice fails."}}),
    [](const ::testing::TestParamInfo<Cell>& info) { return std::string(info.param.name); });
