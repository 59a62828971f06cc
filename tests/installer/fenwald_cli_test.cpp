// fenwald's command line as a program: what it prints, its exit status, and what the simulated
// scanner or lrzsz ends up holding.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>

#include "sim/scanner_device.h"
#include "tests/installer/component_test_support.h"
#include "tests/installer/lrzsz_peer.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"
#include "tests/support/trace_lines.h"

using namespace testcomponents;
using namespace std::chrono_literals;
using testenv::Outcome;

namespace {

struct FenwaldCommandLine : ::testing::Test {
    testenv::IsolatedPorts env;
    testenv::ChildProgram fenwald{FENWALD_BINARY, env.dir()};
    sim::ScannerDevice scanner;
    std::string work;  // the working folder, where fenwald.ini lives

    void SetUp() override {
        work = env.dir().file("work");
        std::filesystem::create_directory(work);
    }
    void startScanner(int com = 3) {
        ASSERT_TRUE(scanner.start(env.mapFile(), com, "Veltrix Scanner (COM3)"));
    }
    std::string file(const std::string& name, const std::string& content) {
        std::string path = env.dir().file(name);
        testenv::writeFile(path, content);
        return path;
    }
    Outcome run(const std::vector<std::string>& args) { return fenwald.run(args, work); }
};

TEST_F(FenwaldCommandLine, DownloadInstallsTheFileAndSaysSo) {
    startScanner();
    const std::string hex = intelHex(randomBytes(3000, 5));
    Outcome r = run({"download", file("app.hex", hex), "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(),
              "Firmware app.hex installed (" + std::to_string(hex.size()) + " bytes)");
    ASSERT_TRUE(testenv::eventually([&] { return scanner.firmware().has_value(); }));
    const auto firmware = scanner.firmware();
    EXPECT_EQ(std::string(firmware->bytes.begin(), firmware->bytes.end()), hex);
    // Nothing but errors on standard error when it is no terminal.
    EXPECT_EQ(r.err, "");
    // The settings file is read, never written.
    EXPECT_FALSE(std::filesystem::exists(work + "/fenwald.ini"));
}

TEST_F(FenwaldCommandLine, WhatTheScannerOrAFileNameHoldsIsEscaped) {
    startScanner();
    // A title change and a bell in the reply; a newline in a name that fakes a line.
    ASSERT_EQ(scanner.command("reply Z1 \\e]0;owned\\x07V1\\nV2\\r"), "ok");
    Outcome r = run({"versions", "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(), "Scanner software: \\x1B]0;owned\\x07V1\\nV2");

    const std::string hex = intelHex(randomBytes(200, 3));
    r = run({"download", file("a\nFirmware fake.hex installed\x1b[2J.hex", hex), "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(), "Firmware a\\nFirmware fake.hex installed\\x1B[2J.hex installed (" +
                                    std::to_string(hex.size()) + " bytes)");
    for (const std::string& line : r.lines())
        EXPECT_EQ(line.find('\x1b'), std::string::npos) << line;
}

// The component module links its own copy of the trace: its line, worker and event lines come
// out as the program's do, and the variable's bad kind is still named once.
TEST_F(FenwaldCommandLine, TraceCoversTheComponentItsThreadAndItsLine) {
    startScanner();
    ASSERT_EQ(scanner.command("reply Z1 V1\\x1B\\r"), "ok");
    Outcome r;
    {
        testenv::ScopedVariable trace("VELTRIX_TRACE", "all,nope");
        r = run({"versions", "--port", "3"});
    }
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(), "Scanner software: V1\\x1B");
    const auto err = testenv::linesOf(r.err);
    ASSERT_FALSE(err.empty());
    EXPECT_EQ(err.front(),
              "veltrix: VELTRIX_TRACE: unknown kind \"nope\" ignored (the kinds are line, worker, "
              "component and all)");
    EXPECT_EQ(r.err.find("unknown kind", err.front().size()), std::string::npos) << r.err;

    const auto component = testenv::traced(r.err, "component");
    EXPECT_TRUE(testenv::anyHas(component, " created from ")) << r.err;
    EXPECT_TRUE(testenv::anyHas(component, " setProperty ")) << r.err;
    EXPECT_TRUE(testenv::anyHas(component, " invoke ")) << r.err;
    EXPECT_TRUE(testenv::anyHas(component, " event ")) << r.err;
    // The reply as it came, its escape and carriage return by value.
    const auto line = testenv::traced(r.err, "line");
    EXPECT_TRUE(testenv::anyHas(line, " open")) << r.err;
    std::string came;  // the component reads a byte at a time
    const std::regex read(" read [0-9]+: (.*)$");
    for (const std::string& l : line)
        if (std::smatch m; std::regex_search(l, m, read)) came += m[1];
    EXPECT_NE(came.find("V1\\x1B\\x0D"), std::string::npos) << r.err;
    EXPECT_TRUE(testenv::anyHas(testenv::traced(r.err, "worker"), " command 1 taken")) << r.err;

    {
        testenv::ScopedVariable trace("VELTRIX_TRACE", "component");
        r = run({"versions", "--port", "3"});
    }
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testenv::traced(r.err, "line").empty()) << r.err;
    EXPECT_TRUE(testenv::traced(r.err, "worker").empty()) << r.err;
    EXPECT_FALSE(testenv::traced(r.err, "component").empty()) << r.err;
    EXPECT_EQ(testenv::traced(r.err, "component").size(), testenv::linesOf(r.err).size());
}

TEST_F(FenwaldCommandLine, TheSettingsFileGivesThePortAndFailuresExitOne) {
    startScanner();
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=3\n");
    ASSERT_EQ(scanner.command("reply Z1 V1.0\\r"), "ok");
    Outcome r = run({"versions"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(), "Scanner software: V1.0");
    EXPECT_EQ(testenv::readFile(work + "/fenwald.ini"), "[Main]\nport=3\n");

    r = run({"send-time"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(scanner.timesSet().size(), 1u);

    // A corrupt file: its line in the message, nothing on the line.
    std::string hex = intelHex(randomBytes(100, 2));
    hex[hex.find(':', 1) + 3] ^= 1;
    scanner.line().clearReceived();
    r = run({"download", file("bad.hex", hex)});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.hex"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_TRUE(scanner.line().received().empty());

    // A port nobody answers on.
    r = run({"versions", "--port", "7"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("COM7"), std::string::npos) << r.err;
}

TEST_F(FenwaldCommandLine, ABrokenRecordFileIsRefusedWhateverItsName) {
    startScanner();
    std::string hex = intelHex(randomBytes(100, 4));
    hex[hex.find("\r\n") - 1] ^= 1;  // the first record's checksum
    const std::string srecords = "S0080000612E7331398B\r\nS1051000DEAD5F\r\n";
    const std::pair<std::string, std::string> files[] = {
        {"firmware", hex},
        {"app.txt", hex},
        {"app.ihx", hex},
        {"app", srecords},
        {"end.hex", ":00000001FF\r\n"},
        {"x\x1b[2J", ":00000001FF\r\n"},
    };
    const std::string expected[] = {
        "firmware line 1: bad checksum",   "app.txt line 1: bad checksum",
        "app.ihx line 1: bad checksum",    "app: no termination record",
        "end.hex: the file holds no data", "x\\x1B[2J: the file holds no data",
    };
    for (std::size_t i = 0; i < std::size(files); ++i) {
        Outcome r = run({"download", file(files[i].first, files[i].second), "--port", "3"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find(expected[i]), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    }
    EXPECT_TRUE(scanner.line().received().empty());
    EXPECT_EQ(scanner.firmwareRequests(), 0);

    // Bytes that are no text still go as they are, under any name but a record extension.
    const std::string raw = randomBytes(600, 9);
    Outcome r = run({"download", file("firmware", raw), "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(testenv::eventually([&] { return scanner.firmware().has_value(); }));
    const auto firmware = scanner.firmware();
    EXPECT_EQ(std::string(firmware->bytes.begin(), firmware->bytes.end()), raw);
}

TEST_F(FenwaldCommandLine, ConfigureLeavesOutTheFilesLineEndAndRefusesAControlByte) {
    startScanner();
    Outcome r = run({"configure", file("editor.vsc", "Config=ABC\r\n"), "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(scanner.configurations().size(), 1u);
    EXPECT_EQ(scanner.configurations()[0].text, "ABCZ2");
    EXPECT_TRUE(scanner.configurations()[0].permanent);
    const auto wire = scanner.line().received();
    EXPECT_NE(std::string(wire.begin(), wire.end())
                  .find("\x1b"
                        "ABCZ2\r"),
              std::string::npos);

    scanner.line().clearReceived();
    r = run({"configure",
             file("inside.vsc",
                  "Config=ABC\r\x1b"
                  "FW\r"),
             "--port", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Configuration file is not valid: control byte 0x0d at offset 10.\n");
    EXPECT_TRUE(scanner.line().received().empty());
    EXPECT_EQ(scanner.firmwareRequests(), 0);
}

TEST_F(FenwaldCommandLine, AFifoIsRefusedAsEveryFileFenwaldReads) {
    startScanner();
    const std::string fifo = env.dir().file("pipe.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"download", fifo, "--port", "3"}, "Cannot read " + fifo + ": is not a regular file\n"},
        {{"configure", fifo, "--port", "3"},
         "Cannot open configuration file\n" + fifo + ": is not a regular file\n"},
        {{"monitor", "--port", "3", "--send-file", fifo},
         "Cannot open " + fifo + ": is not a regular file\n"},
        {{"transmit", fifo, "--port", "3"}, "cannot send " + fifo + ": is not a regular file"},
    };
    for (const Case& k : cases) {
        Outcome r = run(k.args);  // a FIFO opened for reading would wait for a writer
        EXPECT_EQ(r.status, 1) << k.args.front() << ": " << r.err;
        EXPECT_NE(r.err.find(k.message), std::string::npos) << k.args.front() << ": " << r.err;
    }
    EXPECT_EQ(scanner.firmwareRequests(), 0);
    EXPECT_TRUE(scanner.configurations().empty());
}

TEST_F(FenwaldCommandLine, HidWithoutADisplaySaysADisplayIsNeeded) {
    const std::string vsc = file("hid.vsc", "Config=ABC");
    struct Case {
        const char* display;  // null: not set
        const char* wayland;
        std::string why;
    };
    const Case cases[] = {
        {nullptr, nullptr, "DISPLAY is not set"},
        {nullptr, "wayland-0", "DISPLAY is not set; Wayland alone has no way in"},
        {":4711", nullptr, "display :4711 cannot be opened"},
    };
    const char* savedDisplay = std::getenv("DISPLAY");
    const std::string display = savedDisplay ? savedDisplay : "";
    const char* savedWayland = std::getenv("WAYLAND_DISPLAY");
    const std::string wayland = savedWayland ? savedWayland : "";
    auto put = [](const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    };
    for (const Case& k : cases) {
        put("DISPLAY", k.display);
        put("WAYLAND_DISPLAY", k.wayland);
        Outcome r = run({"configure", vsc, "--hid"});
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err, "fenwald: --hid needs a graphical display (" + k.why + ").\n");
        EXPECT_EQ(r.out, "");
    }
    put("DISPLAY", savedDisplay ? display.c_str() : nullptr);
    put("WAYLAND_DISPLAY", savedWayland ? wayland.c_str() : nullptr);
}

TEST_F(FenwaldCommandLine, ASettingOutOfRangeIsRefusedWithTheFileKeyAndValue) {
    startScanner();
    ASSERT_EQ(scanner.command("reply Z1 V1.0\\r"), "ok");
    const std::string ini = work + "/fenwald.ini";
    struct Case {
        std::string settings;
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {"port=65539", {"versions"}, "\"port\" takes a COM number from 1 to 255, not 65539"},
        {"port=32771", {"monitor"}, "\"port\" takes a COM number from 1 to 255, not 32771"},
        {"port=3\nbaudrate=12345",
         {"monitor"},
         "\"baudrate\" takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200, not 12345"},
        {"port=3\ndatabits=9", {"monitor"}, "\"databits\" takes 7 or 8, not 9"},
        {"port=3\nstopbits=1", {"transmit", "x"}, "\"stopbits\" takes 0 (one stop bit) or 2"},
        {"port=3\nparity=5", {"monitor"}, "\"parity\" takes 0 (none), 1 (odd) or 2 (even), not 5"},
        {"port=3\nirda=9", {"download", "app.hex"}, "\"irda\" takes a type from 0 to 5, not 9"},
        {"port=300",
         {"configure", file("a.vsc", "Config=A")},
         "\"port\" takes a COM number from 1 to 255, not 300"},
    };
    for (const Case& k : cases) {
        testenv::writeFile(ini, "[Main]\n" + k.settings + "\n");
        Outcome r = run(k.args);
        EXPECT_EQ(r.status, 2) << k.settings << ": " << r.err;
        EXPECT_EQ(r.err.rfind("fenwald: " + ini + ": " + k.message, 0), 0u) << r.err;
    }
    EXPECT_TRUE(scanner.line().received().empty());  // nothing went to COM3, or any port

    // What the command line gives itself is not taken from the file.
    testenv::writeFile(ini, "[Main]\nport=65539\n");
    Outcome r = run({"versions", "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.lines().back(), "Scanner software: V1.0");
}

TEST_F(FenwaldCommandLine, AnUnreadableSettingsFileIsSaidOnceAndTheDefaultsAreUsed) {
    startScanner();
    ASSERT_EQ(scanner.command("reply Z1 V1.0\\r"), "ok");
    const std::string ini = work + "/fenwald.ini";
    ASSERT_TRUE(std::filesystem::create_directory(ini));
    Outcome r = run({"versions", "--port", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "fenwald: Cannot read " + ini + " (" + std::strerror(EISDIR) +
                         "): the default settings are used\n");
    EXPECT_EQ(r.lines().back(), "Scanner software: V1.0");
    EXPECT_TRUE(std::filesystem::is_directory(ini));
}

// A loader whose operation never runs (as once at -O3) leaves no command waiting for ever.
// fenwald takes its components from the registry beside its executable: here a copy of it
// whose registry names a loader that takes every call and never reports.
TEST_F(FenwaldCommandLine, ALoaderThatNeverReportsEndsTheWaitWithAMessage) {
    const std::string bin = env.dir().file("bin");
    std::filesystem::create_directory(bin);
    std::filesystem::copy_file(FENWALD_BINARY, bin + "/fenwald");
    testenv::writeFile(bin + "/components.ini",
                       "[CLSID\\{E91B52ED-8E44-11D5-8369-8555C730F863}\\InprocServer32]\n"
                       "@=" TEST_COMPONENT_MODULE "\n");
    testenv::ChildProgram hung{bin + "/fenwald", env.dir()};
    Outcome r = hung.run({"versions", "--port", "3"}, work);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err, "The loader did not answer within 10 s\n");
}

TEST_F(FenwaldCommandLine, BadArgumentsExitTwo) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"download"},
             {"download", "a.hex", "--irda", "6"},
             {"download", "a.hex", "--port", "0"},
             {"versions", "extra"},
             {"receive"},
             {"--frobnicate"},
         }) {
        Outcome r = run(args);
        EXPECT_EQ(r.status, 2) << args.front() << ": " << r.err;
        EXPECT_NE(r.err.find("fenwald"), std::string::npos) << r.err;
    }
    Outcome help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* sub : {"download", "versions", "send-time", "transmit", "receive"})
        EXPECT_NE(help.out.find(sub), std::string::npos) << sub;
}

TEST_F(FenwaldCommandLine, CtrlCCancelsADownloadWithCanOnTheLine) {
    startScanner();
    ASSERT_EQ(scanner.command("fault fw-silence"), "ok");
    fenwald.start({"download", file("app.bin", randomBytes(5000, 1)), "--port", "3"}, {}, work);
    ASSERT_TRUE(testenv::eventually([&] { return scanner.firmwareRequests() == 1; }, 10s));
    fenwald.interrupt();
    Outcome r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 130) << r.err;
    ASSERT_TRUE(testenv::eventually([&] {
        auto wire = scanner.line().received();
        return std::count(wire.begin(), wire.end(), 0x18) >= 2;
    }));
}

TEST_F(FenwaldCommandLine, SigtermAndSighupCancelAYmodemJobAsCtrlCDoes) {
    startScanner();
    ASSERT_EQ(scanner.command("fault fw-silence"), "ok");
    fenwald.start({"download", file("app.bin", randomBytes(5000, 1)), "--port", "3"}, {}, work);
    ASSERT_TRUE(testenv::eventually([&] { return scanner.firmwareRequests() == 1; }, 10s));
    ::kill(fenwald.pid(), SIGHUP);  // the terminal closed
    Outcome r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 129) << r.err;
    EXPECT_NE(r.err.find("The download of app.bin was cancelled"), std::string::npos) << r.err;
    ASSERT_TRUE(testenv::eventually([&] {
        auto wire = scanner.line().received();
        return std::count(wire.begin(), wire.end(), 0x18) >= 2;
    }));

    // A receive in the middle of a file: CAN to the sender, the partial file gone.
    if (testpeer::LrzszPeer::program("sz").empty()) GTEST_SKIP() << "lrzsz is not installed";
    testpeer::LrzszPeer peer;
    ASSERT_TRUE(peer.open(env.mapFile(), 5));
    peer.paceTowardsComponent(true);
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=5\nbaudrate=2400\n");
    const std::string inbox = env.dir().file("inbox"), outbox = env.dir().file("outbox");
    std::filesystem::create_directory(inbox);
    std::filesystem::create_directory(outbox);
    testenv::writeFile(outbox + "/big.bin", randomBytes(60'000, 7));  // minutes at 2400 bps
    fenwald.start({"receive", inbox}, {}, work);
    ASSERT_TRUE(peer.waitForComponentRate(2400));
    ASSERT_TRUE(peer.start({"sz", "--ymodem", "big.bin"}, outbox));
    ASSERT_TRUE(testenv::eventually([&] { return !std::filesystem::is_empty(inbox); }, 30s));
    fenwald.terminate();
    r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 143) << r.err;
    EXPECT_EQ(r.err, "The transfer was cancelled\n");
    EXPECT_TRUE(std::filesystem::is_empty(inbox)) << "the partial file stays";
    EXPECT_NE(peer.wait(), 0) << "the sender was not told: " << peer.log();
}

TEST_F(FenwaldCommandLine, TransmitAndReceiveWithLrzszAtTheMonitorsRate) {
    if (testpeer::LrzszPeer::program("sz").empty()) GTEST_SKIP() << "lrzsz is not installed";
    testpeer::LrzszPeer peer;
    ASSERT_TRUE(peer.open(env.mapFile(), 5));
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=5\nbaudrate=57600\n");
    const std::string inbox = env.dir().file("inbox"), outbox = env.dir().file("outbox");
    std::filesystem::create_directory(inbox);
    std::filesystem::create_directory(outbox);

    const std::string content = randomBytes(5000, 6);
    fenwald.start({"transmit", file("fw.bin", content)}, {}, work);
    ASSERT_TRUE(peer.waitForComponentRate(57600));
    ASSERT_TRUE(peer.start({"rz", "--ymodem"}, inbox));
    Outcome r = fenwald.wait();
    EXPECT_EQ(peer.wait(), 0) << peer.log();
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.lines().empty()) << r.err;
    EXPECT_EQ(r.lines().back(), "Sent fw.bin (5000 bytes)");
    EXPECT_EQ(testenv::readFile(inbox + "/fw.bin"), content);

    testenv::writeFile(outbox + "/back.bin", content);
    fenwald.start({"receive", inbox}, {}, work);
    ASSERT_TRUE(peer.waitForComponentRate(57600));
    ASSERT_TRUE(peer.start({"sz", "--ymodem", "back.bin"}, outbox));
    r = fenwald.wait();
    EXPECT_EQ(peer.wait(), 0) << peer.log();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(testenv::readFile(inbox + "/back.bin"), content);
}

}  // namespace
