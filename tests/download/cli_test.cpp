// kolvane download as a program: the printed log, the exit status and what the device holds.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/download/download_session.h"
#include "tests/support/child_program.h"

#include "download/engine/flash_writer.h"
#include "platform/folders.h"
#include "platform/serial_device.h"

using namespace std::chrono_literals;
using namespace dltest;

namespace {

using testenv::Outcome;

// The download tool as the user runs it.
class Kolvane : public testenv::ChildProgram {
public:
    explicit Kolvane(const testenv::ScratchDir& dir) : ChildProgram(KOLVANE_BINARY, dir) {}
};

struct CommandLine : ::testing::Test {
    testenv::IsolatedPorts env;
    Kolvane kolvane{env.dir()};

    std::unique_ptr<sim::Z7Device> device(int com, sim::Z7Device::Options o = {}) {
        auto d = std::make_unique<sim::Z7Device>(o);
        EXPECT_TRUE(d->start(env.mapFile(), com, "Veltrix Z7 (COM" + std::to_string(com) + ")"));
        return d;
    }
};

std::string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

}  // namespace

TEST_F(CommandLine, ABinImageWithTheStartUpSettingsOnCom1) {
    auto z7 = device(1);
    Bytes image = randomBytes(2 * 8192 + 100);
    std::string path = writeImage(env.dir(), "app.bin", image);
    Outcome r = kolvane.run({"download", path});
    EXPECT_EQ(r.status, 0) << r.err;
    // Every read of an 8192-byte block is logged, the final one that finds no data too.
    Lines expected = {"RS line is secured.", "Open File : " + path, "An input file was opened.",
                      "RS line is secured.", "8:Transfer success",  "9:Transfer success",
                      "10:Transfer success", "11:Transfer success"};
    EXPECT_EQ(r.lines(), expected + transferEnd());
    EXPECT_EQ(z7->blocks(), expectedBlocks(image, 8192, 8));
    auto switches = z7->modeSwitches();
    ASSERT_EQ(switches.size(), 4u);
    EXPECT_EQ(switches[0].bytes, "\x1BUX\r\r\r\r\r");
    EXPECT_EQ(switches[1].bytes, "\x1B[XUX\r\r\r");
    EXPECT_EQ(switches[2].bytes, "\x1B[X.Z\r\r\r");
    EXPECT_EQ(switches[3].bytes, "\x1BZW\r\r\r\r\r");
    for (const auto& m : switches) EXPECT_EQ(m.baudRate, 9600u);
    // The short last block travels at full length, with the full length in its header.
    Bytes wire = z7->line().received();
    ASSERT_EQ(wire.size(), 32u + 4 * 8218);
    EXPECT_EQ(Bytes(wire.begin() + 32, wire.begin() + 36), (Bytes{0x20, 0x00, 0x00, 0x08}));
    EXPECT_EQ(Bytes(wire.begin() + 32 + 2 * 8218, wire.begin() + 36 + 2 * 8218),
              (Bytes{0x20, 0x00, 0x00, 0x0A}));
    EXPECT_TRUE(r.err.empty()) << r.err;
}

TEST_F(CommandLine, ABootImageInSixteenByteBlocksLittleEndianOnCom3) {
    sim::Z7Device::Options o;
    o.bigEndian = false;
    auto z7 = device(3, o);
    Bytes image = randomBytes(21 * 16);  // an exact multiple of the block size
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    Outcome r =
        kolvane.run({"download", path, "--port", "3", "--kind", "mot-hex", "--endian", "little"});
    EXPECT_EQ(r.status, 0) << r.err;
    // With 16-byte blocks only blocks whose number plus one is a multiple of 10 are logged.
    Lines expected = {"Change RsPort : 3",     "RS line is secured.", "Change RsBkSize : 16",
                      "Change EndianType : 1", "Open File : " + path, "An input file was opened.",
                      "RS line is secured.",   "9:Transfer success",  "19:Transfer success"};
    EXPECT_EQ(r.lines(), expected + transferEnd());
    EXPECT_EQ(z7->blocks(), expectedBlocks(image, 16, 0));
    // No frame after the last full block: 4 mode-switch commands, 21 frames, the stop frame.
    Bytes wire = z7->line().received();
    ASSERT_EQ(wire.size(), 32u + 22 * 42);
    EXPECT_EQ(Bytes(wire.begin() + 32 + 5 * 42, wire.begin() + 36 + 5 * 42),
              (Bytes{0x05, 0x00, 0x10, 0x00}));
}

TEST_F(CommandLine, ATextImageForAZ7BOverUsb) {
    auto z7 = device(1);
    std::string text = "1,2,3\r\n4, 5\r\n256,-1,,\r\n7\a8\r\n";
    std::string path = env.dir().file("image.ttf");
    testenv::writeFile(path, text);
    Outcome r = kolvane.run({"download", path, "--device", "z7b", "--interface", "usb"});
    EXPECT_EQ(r.status, 0) << r.err;
    Lines expected = {"RS line is secured.",  "Change DeviceType : 1",     "Change IF Type : 1",
                      "Open File : " + path,  "An input file was opened.", "RS line is secured.",
                      "208:Transfer success", "209:Transfer success"};
    EXPECT_EQ(r.lines(), expected + transferEnd());
    Bytes values = {1, 2, 3, 4, 5, 0x00, 0xFF, 7, 8};
    EXPECT_EQ(z7->blocks(), expectedBlocks(values, 8192, 208));
    auto switches = z7->modeSwitches();
    ASSERT_EQ(switches.size(), 4u);
    EXPECT_EQ(switches[2].bytes, "\x1B[E49\r\r\r");
}

TEST_F(CommandLine, ImageNamesInCapitalsAreTheBootAndTextImages) {
    auto z7 = device(1);
    const Bytes boot = randomBytes(20);
    std::string path = writeImage(env.dir(), "BOOT.BIN", boot);
    Outcome r = kolvane.run({"download", path, "--kind", "bin8k-old", "--kind", "mot-hex"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(z7->blocks(), expectedBlocks(boot, 16, 0));

    auto font = device(2);
    path = env.dir().file("FONT.TTF");
    testenv::writeFile(path, "1,2,3\r\n");
    r = kolvane.run({"download", path, "--port", "2", "--kind", "bin8k-old"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(font->blocks(), expectedBlocks({1, 2, 3}, 8192, 224));
}

TEST_F(CommandLine, AnEmptyOrMalformedImageIsRefusedAndNothingIsSent) {
    auto z7 = device(1);
    const std::string empty = writeImage(env.dir(), "app\x1b[2J.bin", {});
    const std::string font = env.dir().file("FONT.TTF");
    testenv::writeFile(font, "1,2,3\r\n4,0x05\r\n");
    const std::string shownEmpty = env.dir().file("app\\x1B[2J.bin");
    for (auto [path, why] :
         {std::pair{empty, shownEmpty + " is empty: there is nothing to download."},
          std::pair{font, font + ", line 2: \"0x05\" is not a decimal number."}}) {
        Outcome r = kolvane.run({"download", path});
        EXPECT_EQ(r.status, 1);
        Lines l = r.lines();
        ASSERT_GE(l.size(), 3u) << r.out;
        EXPECT_EQ(Lines(l.end() - 3, l.end()),
                  (Lines{"An input file was opened.", why, "Command practice fails."}));
    }
    EXPECT_TRUE(z7->line().received().empty());
}

TEST_F(CommandLine, ABootstrapImageIsWrittenIntoTheFlash) {
    sim::Z7Device::Options o;
    o.mode = sim::Z7Device::Mode::Bootstrap;
    auto z7 = device(2, o);
    Bytes image = randomBytes(3000);
    image[0] = 0x12, image[1] = 0x34;
    std::string path = writeImage(env.dir(), "app.bin", image);
    const std::uint16_t base = z7->flashWord(0x10000000);
    Outcome r = kolvane.run({"download", path, "--port", "2", "--kind", "bootstrap"});
    EXPECT_EQ(r.status, 0) << r.err;
    Lines expected = {"Change RsPort : 2",
                      "RS line is secured.",
                      "Change RsBkSize : 2",
                      "Open File : " + path,
                      "An input file was opened.",
                      "RS line is secured.",
                      "0x08000000:0x1234",
                      "0x10000000:0x" + hex4(base),
                      "0x10010000:From erase success",
                      "0x10010000:From pokew success",
                      "0x10010800:From pokew success",
                      "",
                      "All From Write success"};
    EXPECT_EQ(r.lines(), expected);
    EXPECT_EQ(z7->flashBytes(0x10010000, image.size()), image);
    EXPECT_EQ(z7->flashWord(0x10010000), 0x1234);
    EXPECT_EQ(z7->flashBytes(0x10010000 + 3000, 0x10000 - 3000), Bytes(0x10000 - 3000, 0xFF));
    EXPECT_EQ(z7->erases(), 1);
    EXPECT_EQ(z7->line().programSettings()->baudRate, 57600u);
    std::vector<sim::Z7Device::LongWrite> setup;
    for (auto w : kolvane::setupBeforeRamCheck(0)) setup.push_back({w.address, w.value});
    for (auto w : kolvane::setupAfterRamCheck(0)) setup.push_back({w.address, w.value});
    EXPECT_EQ(z7->longWrites(), setup);
}

TEST_F(CommandLine, DelXswOnAZ7DStartsABinImageAtBlock254) {
    auto z7 = device(1);
    Bytes image = randomBytes(100);
    std::string path = writeImage(env.dir(), "app.bin", image);
    Outcome r =
        kolvane.run({"download", path, "--kind", "bin8k-old", "--device", "z7d", "--del-xsw"});
    EXPECT_EQ(r.status, 0) << r.err;
    Lines expected = {"RS line is secured.",
                      "Change UseZwFlg : 0",
                      "Change RsBkSize : 8192",
                      "Change DeviceType : 2",
                      "Change Save Address : 0x001FC000",
                      "Open File : " + path,
                      "An input file was opened.",
                      "RS line is secured.",
                      "254:Transfer success",
                      "255:Transfer success"};
    EXPECT_EQ(r.lines(), expected + transferEnd());
    EXPECT_EQ(z7->blocks(), expectedBlocks(image, 8192, 254));
    EXPECT_TRUE(z7->modeSwitches().empty());
}

TEST_F(CommandLine, The257thFailureEndsTheDownload) {
    auto z7 = device(1);
    ASSERT_EQ(z7->command("reject 1000"), "ok");
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(16));
    Outcome r = kolvane.run({"download", path, "--kind", "bin8k-old", "--kind", "mot-hex"});
    EXPECT_EQ(r.status, 1);
    Lines expected = {"RS line is secured.",  "Change UseZwFlg : 0", "Change RsBkSize : 8192",
                      "Change RsBkSize : 16", "Open File : " + path, "An input file was opened.",
                      "RS line is secured."};
    expected.insert(expected.end(), 257, "1:Transfer failure (re-transfer start)");
    expected.push_back("Command practice fails.");
    EXPECT_EQ(r.lines(), expected);
    // The first frame and 256 retransmissions.
    EXPECT_EQ(z7->line().received().size(), 257u * 42);
}

TEST_F(CommandLine, CtrlCEndsAFastDownloadAtOnce) {
    // Unpaced, the device takes 4 MiB in a few seconds and the log streams; Ctrl+C must not
    // wait for a quiet moment in that stream.
    auto z7 = device(1);
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(4 * 1024 * 1024));
    kolvane.start({"download", path, "--kind", "bin8k-old"});
    ASSERT_TRUE(testenv::eventually(
        [&] { return kolvane.output().find("\n40:Transfer success") != std::string::npos; }, 60s));
    kolvane.interrupt();
    Outcome r = kolvane.wait(30s);
    EXPECT_EQ(r.status, 130);
    Lines lines = r.lines();
    const auto sent = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.find(":Transfer success") != std::string::npos;
    });
    EXPECT_LT(sent, 512) << "the download ran to its end";
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind("Download cancelled at block ", 0), 0u)
        << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), "Command practice fails.");
}

TEST_F(CommandLine, TheTimeLimitCancelsASilentDeviceAndFails) {
    auto z7 = device(1);
    ASSERT_EQ(z7->command("silent on"), "ok");
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(16));
    Outcome r = kolvane.run({"download", path, "--kind", "bin8k-old", "--timeout", "2"});
    EXPECT_EQ(r.status, 1);
    Lines lines = r.lines();
    EXPECT_NE(
        std::find(lines.begin(), lines.end(), "Time limit of 2 s reached: the job is cancelled."),
        lines.end())
        << r.out;
    EXPECT_EQ(lines.back(), "Command practice fails.");
    EXPECT_EQ(kolvane.run({"download", path, "--timeout", "0"}).status, 2);
}

TEST_F(CommandLine, AnImageThatIsNotARegularFileIsRefusedBeforeItIsOpened) {
    auto z7 = device(1);
    std::string fifo = env.dir().file("pipe.bin");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    Outcome r = kolvane.run({"download", fifo});  // opening a FIFO would wait for a writer
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.lines(),
              (Lines{"RS line is secured.", "Open File : " + fifo, "An input file didn't open it.",
                     fifo + ": is not a regular file", "Command practice fails."}));
    EXPECT_TRUE(z7->line().received().empty());
}

TEST_F(CommandLine, AFailedWriteOnStandardOutputEndsTheJobSafelyAndFails) {
    auto z7 = device(1);
    Bytes image = randomBytes(20);
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    kolvane.start({"download", path, "--kind", "bin8k-old", "--kind", "mot-hex"}, "/dev/full");
    Outcome r = kolvane.wait();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("kolvane: cannot write to standard output: No space left on device"),
              std::string::npos)
        << r.err;
    // The download itself went to its end.
    EXPECT_EQ(z7->blocks(), expectedBlocks(image, 16, 0));
}

TEST_F(CommandLine, CtrlCEndsTheWaitForFlashReportsCleanly) {
    auto z7 = device(1);
    ASSERT_EQ(z7->command("reports off"), "ok");
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(16));
    kolvane.start({"download", path, "--kind", "bin8k-old", "--kind", "mot-hex"});
    ASSERT_TRUE(testenv::eventually(
        [&] {
            return kolvane.output().find("All the file data transmitting completion") !=
                   std::string::npos;
        },
        30s));
    kolvane.interrupt();
    Outcome r = kolvane.wait(20s);
    EXPECT_EQ(r.status, 130);
    Lines lines = r.lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Command practice fails.");
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(), "FROM block writing result receiving time out"), 0);
}

// Without a subcommand the window starts (offscreen here); SIGTERM closes it as Exit does.
TEST_F(CommandLine, FailuresThatOnceEndedAsSuccessExitOne) {
    // The device reports a block it could not write to its flash.
    auto z7 = device(1);
    ASSERT_EQ(z7->command("flash-fail on"), "ok");
    std::string boot = writeImage(env.dir(), "Boot.bin", randomBytes(20));
    Outcome r = kolvane.run({"download", boot, "--kind", "bin8k-old", "--kind", "mot-hex"});
    EXPECT_EQ(r.status, 1);
    Lines l = r.lines();
    ASSERT_GE(l.size(), 3u);
    EXPECT_EQ(Lines(l.end() - 3, l.end()),
              (Lines{"FROM block: Writing failure", "All the FROM writing completion",
                     "Command practice fails."}));

    // A text image through the monitor of a Z7D lies outside its flash: refused, nothing sent.
    sim::Z7Device::Options o;
    o.mode = sim::Z7Device::Mode::Bootstrap;
    o.deviceType = 2;
    auto monitor = device(2, o);
    testenv::writeFile(env.dir().file("image.ttf"), "1,2,3\n");
    r = kolvane.run({"download", env.dir().file("image.ttf"), "--port", "2", "--kind", "bootstrap",
                     "--device", "z7d"});
    EXPECT_EQ(r.status, 1);
    l = r.lines();
    ASSERT_GE(l.size(), 2u);
    EXPECT_EQ(
        Lines(l.end() - 2, l.end()),
        (Lines{
            "The image cannot be written: 0x101C0000 to 0x101C0005 lies outside the device's flash "
            "(0x80000000 to 0x803FFFFF)",
            "Command practice fails."}));
    EXPECT_TRUE(monitor->line().received().empty());
}

TEST_F(CommandLine, EveryOpenFailureSaysWhyAndWhatToDo) {
    auto z7 = device(3);
    // Another program holds COM3 (this test's own process).
    platform::SerialDevice holder;
    ASSERT_TRUE(holder.open(platform::findPort(3)->devicePath));
    const std::string folder = env.dir().file("folder");
    ASSERT_TRUE(platform::createDirectory(folder));
    testenv::writeFile(env.dir().file("plain"), "x");
    env.writeMap("COM1 /dev/null\nCOM2 " + folder + "\nCOM3 " + z7->line().devicePath() +
                 "\nCOM4 " + env.dir().file("plain") + "\n");
    const std::string image = writeImage(env.dir(), "Boot.bin", randomBytes(16));
    auto secondLine = [&](int port) {
        Outcome r = kolvane.run({"download", image, "--port", std::to_string(port)});
        EXPECT_EQ(r.status, 1);
        Lines l = r.lines();
        return l.size() > 2 ? l[2] : std::string();
    };
    EXPECT_EQ(secondLine(1), "/dev/null is not a serial port. Check the port map.");
    EXPECT_EQ(secondLine(2), folder + " is not a serial port. Check the port map.");
    EXPECT_EQ(secondLine(4),
              env.dir().file("plain") + " is not a serial port. Check the port map.");
    const std::string busy = secondLine(3);
    EXPECT_EQ(busy.rfind("COM3 is in use by ", 0), 0u) << busy;
    EXPECT_NE(busy.find("(pid " + std::to_string(::getpid()) + "): close that program first."),
              std::string::npos)
        << busy;
    EXPECT_EQ(secondLine(9), kolvanetest::notInPortMap(9));
}

TEST_F(CommandLine, WithoutADisplayTheWindowIsNotTriedAndTheUserIsTold) {
    const char* qpa = std::getenv("QT_QPA_PLATFORM");
    const std::string kept = qpa ? qpa : "";
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::setenv("DISPLAY", ":99999", 1);  // names a server that is not there
    Outcome r = kolvane.run({});
    ::unsetenv("DISPLAY");
    Outcome none = kolvane.run({});
    if (!kept.empty()) ::setenv("QT_QPA_PLATFORM", kept.c_str(), 1);
    for (const Outcome& o : {r, none}) {
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.err, "No display found: run a subcommand (see --help) or set DISPLAY.\n");
    }
}

TEST_F(CommandLine, WithoutASubcommandTheWindowRunsUntilItIsClosed) {
    auto z7 = device(1);
    kolvane.start({});
    // The window has started once it catches SIGTERM (bit 15 of SigCgt in /proc).
    const std::string status = "/proc/" + std::to_string(kolvane.pid()) + "/status";
    ASSERT_TRUE(testenv::eventually(
        [&] {
            std::string text = testenv::readFile(status);
            auto at = text.find("SigCgt:");
            return at != std::string::npos &&
                   (std::stoull(text.substr(at + 7), nullptr, 16) >> (SIGTERM - 1) & 1);
        },
        30s));
    kolvane.terminate();
    Outcome r = kolvane.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    // The window let go of COM1.
    platform::CancelFlag cancel;
    kolvane::DownloadLine line(cancel);
    EXPECT_TRUE(line.open(1, 9600));
}

TEST_F(CommandLine, UsageAndBadArguments) {
    Outcome help = kolvane.run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"download", "--port", "--kind", "bin8k-new", "bin8k-old", "mot-hex", "bootstrap",
          "--device", "k41", "z7b", "z7d", "--endian", "--interface", "usb", "--del-xsw"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    EXPECT_EQ(kolvane.run({"download"}).status, 2);
    Outcome bad = kolvane.run({"download", "x.bin", "--kind", "srec"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--kind"), std::string::npos);
    EXPECT_EQ(kolvane.run({"download", "x.bin", "--port", "0"}).status, 2);
    EXPECT_EQ(kolvane.run({"upload"}).status, 2);
    // No device anywhere: the log says so, and the exit status too.
    Outcome none = kolvane.run({"download", env.dir().file("x.bin")});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(
        none.lines(),
        (Lines{"RS line can't be used.", kolvanetest::notInPortMap(1), "Command practice fails.",
               "Open File : " + env.dir().file("x.bin"), "RS line for Download can't be used.",
               kolvanetest::notInPortMap(1), "Command practice fails."}));
}
