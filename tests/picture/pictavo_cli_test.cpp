#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "picture/cli/pictavo_cli.h"
#include "picture/engine/capture_protocol.h"
#include "platform/folders.h"
#include "sim/scanner_device.h"
#include "tests/picture/picture_test_support.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Result {
    int status;
    std::string out, err;
};

struct CommandLine : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    std::atomic<bool> interrupted{false};

    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 5, "Veltrix 2D Scanner (COM5)"));
    }

    Result run(std::vector<std::string> args, bool terminal = false) {
        std::ostringstream out, err;
        serial::cli::Console console{out, err, terminal, &interrupted};
        int status = serial::cli::run(pictavo::cli::program(), args, console);
        return {status, out.str(), err.str()};
    }
    std::string settingsFile() const {
        return platform::joinPath(platform::configFolder(), "Veltrix/kivvision.ini");
    }
    Bytes readBytes(const std::string& path) {
        std::string s = testenv::readFile(path);
        return Bytes(s.begin(), s.end());
    }
};

}  // namespace

TEST_F(CommandLine, CaptureWritesTheReceivedJpegByteForByteAndLeavesTheSettingsAlone) {
    std::string out = env.dir().file("picture");
    Result r = run({"capture", "--port", "5", "--output", out, "--no-snapshot", "--window",
                    "0,0,63,47", "--quality", "50"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readBytes(out + ".jpg"), scanner.lastPicture());
    EXPECT_EQ(r.out, "Saved " + out + ".jpg (JPEG, " +
                         std::to_string(scanner.lastPicture().size()) + " bytes received)\n");
    EXPECT_EQ(r.err, "Initializing...\n");
    EXPECT_EQ(scanner.requests().back().text,
              "\x1b((\r@VELT,   0,   0,  63,  47,1,8,0, 50,0,1,0,0#");
    EXPECT_FALSE(std::filesystem::exists(platform::parentFolder(settingsFile())));
    EXPECT_TRUE(std::filesystem::is_empty(
        platform::tempFolder()));  // the temporary file went with the copy
}

TEST_F(CommandLine, CaptureTakesItsSettingsFromTheFileWithoutWritingIt) {
    std::filesystem::create_directories(platform::parentFolder(settingsFile()));
    const std::string settings =
        "[Main]\nport=5\nJPEGImage=0\n[Size]\nendx=99\nendy=29\n[Snapshot]\nsnapshot=0\n";
    testenv::writeFile(settingsFile(), settings);
    std::string out = env.dir().file("grey");
    Result r = run({"capture", "--output", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(scanner.requests().back().text,
              "\x1b((\r@VELT,   0,   0,  99,  29,1,8,0, 65,0,3,0,0#");
    pictavo::BitmapInfo info = pictavo::BitmapInfo::grey();
    info.width = 100;
    info.height = -30;
    Bytes rows = scanner.lastPicture();
    EXPECT_EQ(readBytes(out + ".bmp"), pictavo::makeGreyBmp(info, rows.data(), rows.size()));
    EXPECT_EQ(testenv::readFile(settingsFile()), settings);
}

TEST_F(CommandLine, SettingsTheDialogsWouldRefuseFallBackToTheirDefaultsWithAWarning) {
    struct Case {
        std::string file;
        std::string warning;  // after "<settings file>: "
    };
    const std::string window =
        " is not inside 1280 x 1024 pixels and at least 2 x 2 (startx < "
        "endx < 1280, starty < endy < 1024); the default window 0, 0, "
        "1279, 1023 is used.";
    const Case cases[] = {
        {"[Size]\nendx=99999\n",
         "the picture window startx=0, starty=0, endx=99999, endy=1023" + window},
        {"[Size]\nstartx=-20\nendx=99\n",
         "the picture window startx=-20, starty=0, endx=99, endy=1023" + window},
        {"[Size]\nstartx=600\nendx=100\n",
         "the picture window startx=600, starty=0, endx=100, endy=1023" + window},
        {"[Size]\nstarty=1023\n",
         "the picture window startx=0, starty=1023, endx=1279, endy=1023" + window},
        {"[Quality]\nquality=250\n",
         "quality=250 is not a quality from 0 to 100; the default quality 65 is used."},
    };
    std::filesystem::create_directories(platform::parentFolder(settingsFile()));
    for (const Case& c : cases) {
        testenv::writeFile(settingsFile(), c.file);
        Result r =
            run({"capture", "--port", "5", "--no-snapshot", "--output", env.dir().file("p.jpg")});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, settingsFile() + ": " + c.warning + "\nInitializing...\n");
        // The scanner is asked for the default window and quality, not for the file's.
        EXPECT_EQ(scanner.requests().back().text,
                  "\x1b((\r@VELT,   0,   0,1279,1023,1,8,0, 65,0,1,0,0#")
            << c.file;
        EXPECT_EQ(testenv::readFile(settingsFile()), c.file) << "the file is left alone";
    }
}

TEST_F(CommandLine, WithoutOutputThePictureStaysInTheTemporaryFileItNames) {
    scanner.setBlockSize(512);
    Result r =
        run({"capture", "--port", "5", "--no-snapshot", "--window", "0,0,31,31", "--bmp"}, true);
    ASSERT_EQ(r.status, 0) << r.err;
    // On a terminal a progress bar runs on standard error and is wiped at the end.
    EXPECT_EQ(r.err,
              "Initializing...\n"
              "\rTransferring... [###############...............]  50%"
              "\rTransferring... [##############################] 100%\r\033[K");
    auto at = r.out.find(" in ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::string temp = r.out.substr(at + 4, r.out.size() - at - 5);
    EXPECT_EQ(platform::fileNameOf(temp).rfind("NEW", 0), 0u);
    EXPECT_EQ(readBytes(temp).size(), 14u + 1064u + 32u * 32u);
}

TEST_F(CommandLine, FailedChecksShowTheirMessageThenInitializationFailed) {
    Result r = run({"capture", "--port", "6", "--no-snapshot"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Initializing...\nPort not found.\n" + picturetest::lookedFor(6) +
                         "\nInitialization Failed.\n");

    sim::ScannerDevice plain;
    ASSERT_TRUE(plain.start(env.mapFile(), 7, "USB Serial Port (COM7)"));
    r = run({"capture", "--port", "7", "--check-port-name"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Initializing...\nCannot find compatible device.\nInitialization Failed.\n");
    r = run({"send", "Trigger", "--port", "6"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Port not found.\n" + picturetest::lookedFor(6) + "\nInitialization Failed.\n");
}

TEST_F(CommandLine, ABrokenTransferFailsWithTheMessageAndWritesNothing) {
    scanner.setFaults({.badEndBlock = 1});
    std::string out = env.dir().file("broken.jpg");
    Result r =
        run({"capture", "--port", "5", "--no-snapshot", "--window", "0,0,63,63", "--output", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Initializing...\nReceiveDataBlockError\nNo picture: a data block was missing or "
              "badly framed.\n");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(CommandLine, CtrlCCancelsASnapshotWait) {
    std::thread press([&] {
        testenv::eventually(
            [&] { return scanner.command("status").find("waiting") != std::string::npos; }, 10s);
        interrupted = true;
    });
    Result r = run({"capture", "--port", "5", "--snapshot"});
    press.join();
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.err, "Initializing...\nAim and trigger...\nCancelled.\n");
}

TEST_F(CommandLine, SendPrintsTheReplyAsTheAsciiTerminalShowsIt) {
    Result r = run({"send", "Get SW Version", "--port", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Veltrix 2D Imager SIM V1.10<CR>\n");
    ASSERT_TRUE(scanner.line().waitReceived(6, 2s));
    EXPECT_EQ(scanner.line().received(), (Bytes{0x17, 0x17, 0x1b, 'Z', '1', '\r'}));

    scanner.setReply("[OOQ", std::string("A\r\n\x07", 4));
    r = run({"send", "Toggle Laser", "--port=5"});
    EXPECT_EQ(r.out, "A<CR>\n<LF><BEL>\n");

    scanner.setReply("Z2", std::nullopt);
    r = run({"send", "Save Config", "--port", "5"});
    EXPECT_EQ(r.status, 1);  // a command without an answer did not do its job
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "No reply.\n");
}

TEST_F(CommandLine, PortsListsThePortMenuAndMarksTheSettingsPort) {
    sim::ScannerDevice other;
    ASSERT_TRUE(other.start(env.mapFile(), 12, "USB Serial Port (COM12)"));
    Result r = run({"ports"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "    5  Veltrix 2D Scanner (COM5)\n   12  USB Serial Port (COM12)\n");
    std::filesystem::create_directories(platform::parentFolder(settingsFile()));
    testenv::writeFile(settingsFile(), "[Main]\nport=12\n");
    EXPECT_EQ(run({"ports"}).out,
              "    5  Veltrix 2D Scanner (COM5)\n*  12  USB Serial Port (COM12)\n");

    other.stop();
    scanner.stop();
    r = run({"ports"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No ports found.\nPorts come from " + platform::portSourceDescription() + ".\n");
}

TEST_F(CommandLine, UsageErrorsSayWhatIsWrong) {
    struct Case {
        std::vector<std::string> args;
        std::string first;
    } cases[] = {
        {{}, "pictavo: a subcommand is needed"},
        {{"paint"}, "pictavo: unknown subcommand paint"},
        {{"capture", "--quality", "62"},
         "pictavo: --quality must be a multiple of 5 from 5 to 100, not 62"},
        {{"capture", "--window", "1,2,3"}, "pictavo: --window takes four numbers: X0,Y0,X1,Y1"},
        {{"capture", "--window", "9,0,1,1"},
         "pictavo: --window must lie inside the 1280 x 1024 picture and be at least 2 x 2 pixels "
         "(X0 < X1 < 1280, "
         "Y0 < Y1 < 1024), not 9,0,1,1"},
        {{"capture", "--window", "0,0,1280,100"},
         "pictavo: --window must lie inside the 1280 x 1024 picture and be at least 2 x 2 pixels "
         "(X0 < X1 < 1280, "
         "Y0 < Y1 < 1024), not 0,0,1280,100"},
        {{"capture", "--quality", "105"},
         "pictavo: --quality must be a multiple of 5 from 5 to 100, not 105"},
        {{"capture", "--timeout", "0"},
         "pictavo: --timeout takes a number of seconds from 1 up, not 0"},
        {{"capture", "--port"}, "pictavo: --port needs a value"},
        {{"capture", "--port", "x"}, "pictavo: --port needs a number, not \"x\""},
        {{"capture", "--colour"}, "pictavo: capture: unknown option --colour"},
        {{"send"}, "pictavo: send needs a command name"},
        {{"send", "Dance"}, "pictavo: unknown command \"Dance\"; the commands are:"},
        {{"ports", "--all"}, "pictavo: ports takes no options: --all"},
    };
    for (const auto& c : cases) {
        Result r = run(c.args);
        EXPECT_EQ(r.status, 2) << c.first;
        EXPECT_EQ(r.err.rfind(c.first + "\n", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("Try 'pictavo --help'."), std::string::npos);
    }
    EXPECT_TRUE(scanner.requests().empty());

    Result help = run({"capture", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word :
         {"capture", "send", "ports", "--output", "--bmp", "--check-port-name", "Get SW Version"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

TEST_F(CommandLine, AnIncompletePictureIsWrittenAndFails) {
    // The header announces fewer blocks than the JPEG needs: its end marker never comes.
    scanner.setBlockSize(200);
    scanner.setFaults({.announcedBlocks = 3});
    std::string out = env.dir().file("short.jpg");
    Result r =
        run({"capture", "--port", "5", "--no-snapshot", "--window", "0,0,63,63", "--output", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "Initializing...\nThe picture is incomplete: its JPEG data has no end marker (FF D9).\n");
    EXPECT_EQ(readBytes(out).size(), 400u);  // still written, for whoever looks into the scanner

    // A header that announces no data blocks at all.
    scanner.setFaults({.announcedBlocks = 1});
    r = run({"capture", "--port", "5", "--no-snapshot", "--output", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Initializing...\nThe picture is incomplete: the scanner sent no picture data.\n");

    // Fewer rows than a BMP's header announces.
    scanner.setFaults({.announcedBlocks = 2});
    r = run({"capture", "--port", "5", "--no-snapshot", "--bmp", "--window", "0,0,63,63",
             "--output", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "Initializing...\nThe picture is incomplete: 200 of 4096 bytes of its rows arrived.\n");
}

TEST_F(CommandLine, AnOutputThatCannotBeWrittenFailsWithItsReasonAndKeepsThePictureThere) {
    const std::vector<std::string> capture = {"capture",  "--port",    "5",       "--no-snapshot",
                                              "--window", "0,0,63,63", "--output"};
    auto captureTo = [&](const std::string& out) {
        std::vector<std::string> args = capture;
        args.push_back(out);
        return run(args);
    };
    ASSERT_EQ(captureTo(env.dir().file("first.jpg")).status, 0);
    const auto size = static_cast<long long>(scanner.lastPicture().size());

    const std::string out = env.dir().file("shelf.jpg");
    testenv::writeFile(out, "the picture of yesterday");
    // The disk fills up half-way through the copy, after the temporary picture.
    platform::failDurableWritesAfter(size + size / 2);
    Result r = captureTo(out);
    platform::failDurableWritesAfter(-1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Initializing...\nCannot write output file\nCannot write " + out +
                         ": No space left on device\n");
    EXPECT_EQ(testenv::readFile(out), "the picture of yesterday");
}

TEST_F(CommandLine, AnOutputFolderGetsThePictureUnderItsDefaultName) {
    std::string folder = env.dir().file("pictures");
    ASSERT_TRUE(platform::createDirectory(folder));
    Result r = run(
        {"capture", "--port", "5", "--no-snapshot", "--window", "0,0,31,31", "--output", folder});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("picture-", 0), 0u);
    EXPECT_EQ(names[0].substr(names[0].size() - 4), ".jpg");
    EXPECT_FALSE(std::filesystem::exists(folder + ".jpg"));
    EXPECT_EQ(readBytes(platform::joinPath(folder, names[0])), scanner.lastPicture());
}

TEST_F(CommandLine, TheTimeoutEndsATriggerWaitThatNeverEnds) {
    Result r = run({"capture", "--port", "5", "--snapshot", "--timeout", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "Initializing...\nAim and trigger...\nNo picture within 1 s: the capture is cancelled.\n");
    EXPECT_TRUE(std::filesystem::is_empty(platform::tempFolder()));
}

TEST_F(CommandLine, AScannerThatGoesAwayEndsTheTriggerWait) {
    std::thread unplug([&] {
        testenv::eventually(
            [&] { return scanner.command("status").find("waiting") != std::string::npos; }, 10s);
        scanner.vanish();
    });
    Result r = run({"capture", "--port", "5", "--snapshot"});
    unplug.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Initializing...\nAim and trigger...\nReceiveDataBlockError\nThe line to COM5 was "
              "lost: check that "
              "the scanner is plugged in and its port is still in the port map.\n"
              "No picture: the line to the scanner was lost.\n");
}

TEST_F(CommandLine, AScannerThatGoesAwayDuringSendIsNotASilentOne) {
    ASSERT_EQ(scanner.command("silent on"), "ok");
    std::thread unplug([&] {
        // "Rack Analyze" waits a second for its reply: the scanner goes within it.
        testenv::eventually([&] { return !scanner.line().received().empty(); }, 10s);
        scanner.vanish();
    });
    Result r = run({"send", "--port", "5", "Rack Analyze"});
    unplug.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "The line to COM5 was lost: check that the scanner is plugged in and its port is "
              "still in the port map.\n");
}

TEST_F(CommandLine, AnUnreadablePortMapIsSaidSoNotNoPorts) {
    // A folder where the map should be: unreadable even for root.
    std::filesystem::remove(env.mapFile());
    std::filesystem::create_directory(env.mapFile());
    const std::string why =
        "The port map " + env.mapFile() + " cannot be read: " + std::strerror(EISDIR) + ".\n";
    Result ports = run({"ports"});
    EXPECT_EQ(ports.status, 1);
    EXPECT_EQ(ports.err, why + "No ports found.\nPorts come from " +
                             platform::portSourceDescription() + ".\n");
    Result capture = run({"capture", "--port", "5", "--no-snapshot"});
    EXPECT_EQ(capture.status, 1);
    EXPECT_EQ(capture.err, "Initializing...\nNo ports found.\n" + picturetest::lookedFor(5) + "\n" +
                               why + "Initialization Failed.\n");
}

TEST_F(CommandLine, APictureWhoseNameCannotBePrintedIsNotLeftInTheTemporaryFolder) {
    // As "pictavo capture | true": the picture arrives, its name cannot be written.
    testenv::ChildProgram pictavo(PICTAVO_BINARY, env.dir());
    pictavo.start({"capture", "--port", "5", "--no-snapshot", "--window", "0,0,31,31"},
                  "/dev/full");
    testenv::Outcome r = pictavo.wait(60s);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("pictavo: cannot write to standard output: "), std::string::npos) << r.err;
    EXPECT_EQ(scanner.requests().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(env.tempDir())) << "a NEW*.tmp is left";
}

TEST_F(CommandLine, SigtermOrASecondCtrlCLeavesNoTemporaryFile) {
    for (int signal : {SIGTERM, SIGINT}) {
        pid_t pid = ::fork();
        if (pid == 0) {
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
            ::execl(PICTAVO_BINARY, PICTAVO_BINARY, "capture", "--port", "5", "--snapshot",
                    nullptr);
            ::_exit(127);
        }
        ASSERT_TRUE(testenv::eventually(
            [&] { return scanner.command("status").find("waiting") != std::string::npos; }, 20s));
        ASSERT_FALSE(std::filesystem::is_empty(platform::tempFolder()));
        ::kill(pid, signal);
        if (signal == SIGINT) {
            // The first cancels; the second must end the program even so.
            std::this_thread::sleep_for(50ms);
            ::kill(pid, SIGINT);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(std::filesystem::is_empty(platform::tempFolder())) << "after signal " << signal;
        scanner.command("trigger");  // lets the scanner leave its wait for the next round
        testenv::eventually(
            [&] { return scanner.command("status").find("waiting") == std::string::npos; }, 10s);
    }
}

TEST_F(CommandLine, WithoutADisplayTheWindowIsNotTried) {
    ::unsetenv("QT_QPA_PLATFORM");
    ::unsetenv("WAYLAND_DISPLAY");
    ::unsetenv("DISPLAY");
    const std::string err = env.dir().file("err.txt");
    pid_t pid = ::fork();
    if (pid == 0) {
        int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(e, 2);
        ::execl(PICTAVO_BINARY, PICTAVO_BINARY, nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(testenv::readFile(err),
              "No display found: run a subcommand (see --help) or set DISPLAY.\n");
}
