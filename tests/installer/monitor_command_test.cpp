// `fenwald monitor` as a program against the echo device: what it prints, what reaches the
// device, its exit status. Standard input is a FIFO the test writes as a user types.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <thread>

#include "serial/terminal_format.h"
#include "sim/echo_device.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using testenv::Outcome;

namespace {

constexpr int kPort = 6;

std::string received(sim::SimLine& line) {
    auto b = line.received();
    return std::string(b.begin(), b.end());
}

// The bytes as the monitor prints them in a format.
std::string printed(const std::string& bytes, int format) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
        auto piece = bytes.substr(at, 1000);
        text += serial::renderBytes(reinterpret_cast<const std::uint8_t*>(piece.data()),
                                    piece.size(), format);
    }
    std::replace(text.begin(), text.end(), '\r', '\n');
    return text;
}

std::string numberedLines(std::size_t bytes) {
    std::string s;
    for (int n = 0; s.size() < bytes; ++n) s += "row " + std::to_string(n) + " 0123456789\r\n";
    s.resize(bytes);
    return s;
}

struct FenwaldMonitor : ::testing::Test {
    testenv::IsolatedPorts env;
    testenv::ChildProgram fenwald{FENWALD_BINARY, env.dir()};
    sim::EchoDevice device;
    std::string work, fifo;
    int input = -1;

    void SetUp() override {
        ASSERT_TRUE(device.start(env.mapFile(), kPort, "Veltrix Echo (COM6)"));
        work = env.dir().file("work");
        std::filesystem::create_directory(work);
        fifo = env.dir().file("stdin");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    }
    void TearDown() override { closeInput(); }
    // Starts it with the FIFO as standard input, held open by the test.
    void start(const std::vector<std::string>& args) {
        fenwald.setInput(fifo);
        fenwald.start(args, {}, work);
        input = ::open(fifo.c_str(), O_WRONLY);  // waits for the child's end to open
        ASSERT_GE(input, 0);
    }
    void type(const std::string& text) {
        ASSERT_EQ(::write(input, text.data(), text.size()), ssize_t(text.size()));
    }
    void closeInput() {
        if (input >= 0) ::close(input);
        input = -1;
    }
    // The line is open and set once the rate is there (a closed end goes back to its own).
    bool lineSetTo(unsigned baud) {
        return testenv::eventually([&] {
            auto s = device.line().programSettings();
            return s && s->baudRate == baud;
        });
    }
    bool prints(const std::string& what, std::chrono::milliseconds wait = 10s) {
        return testenv::eventually([&] { return fenwald.output().find(what) != std::string::npos; },
                                   wait);
    }
};

TEST_F(FenwaldMonitor, SendsStandardInputAndPrintsWhatComesBackUntilInputEnds) {
    start({"monitor", "--port", "6", "--baud", "115200"});
    type("hello\r");
    ASSERT_TRUE(device.line().waitReceived(6, 10000ms));
    ASSERT_TRUE(prints("hello\n"));
    device.line().send(
        std::string("A\r\n\x01"
                    "B"));
    ASSERT_TRUE(prints("hello\nA\nB"));  // Normal: printable bytes and the line break
    EXPECT_EQ(device.line().programSettings()->baudRate, 115200u);
    closeInput();
    Outcome r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(received(device.line()), "hello\r");
    EXPECT_EQ(r.out, "hello\nA\nB");
    EXPECT_EQ(r.err, "");
    // The settings file is read, never written.
    EXPECT_FALSE(std::filesystem::exists(work + "/fenwald.ini"));
}

TEST_F(FenwaldMonitor, FromATerminalKeysGoOutAsTypedAndCtrlDEndsIt) {
    int keyboard = -1, terminal = -1;
    char name[256];
    ASSERT_EQ(::openpty(&keyboard, &terminal, name, nullptr, nullptr), 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(terminal, &before), 0);
    fenwald.setInput(name);
    fenwald.start({"monitor", "--port", "6", "--baud", "115200"}, {}, work);
    ASSERT_TRUE(lineSetTo(115200));
    // No Enter needed, and Enter goes out as CR.
    ASSERT_TRUE(testenv::eventually([&] {
        termios now{};
        return ::tcgetattr(terminal, &now) == 0 && !(now.c_lflag & ICANON);
    }));
    ASSERT_EQ(::write(keyboard, "ab", 2), 2);
    ASSERT_TRUE(device.line().waitReceived(2, 10000ms));
    ASSERT_EQ(::write(keyboard, "\r", 1), 1);
    ASSERT_TRUE(device.line().waitReceived(3, 10000ms));
    EXPECT_EQ(received(device.line()), "ab\r");
    ASSERT_TRUE(prints("ab\n"));
    ASSERT_EQ(::write(keyboard, "\x04", 1), 1);
    Outcome r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(received(device.line()), "ab\r");  // Ctrl+D ended it, it did not go out
    // The terminal is as it was.
    termios after{};
    ASSERT_EQ(::tcgetattr(terminal, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    ::close(keyboard);
    ::close(terminal);
}

TEST_F(FenwaldMonitor, SettingsComeFromTheFileAndFormatsAreTheTerminals) {
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=6\nbaudrate=19200\nformat=2\n");
    const std::string ini = testenv::readFile(work + "/fenwald.ini");
    start({"monitor"});
    ASSERT_TRUE(lineSetTo(19200));
    device.line().send(std::string("AB\r"));
    ASSERT_TRUE(prints("41 42 0D\n"));
    closeInput();
    EXPECT_EQ(fenwald.wait(30s).status, 0);
    EXPECT_EQ(testenv::readFile(work + "/fenwald.ini"), ini);

    start({"monitor", "--format", "ascii"});
    ASSERT_TRUE(lineSetTo(19200));
    device.line().send(std::string("C\r\n\x01"));
    ASSERT_TRUE(prints("C<CR>\n<LF><SOH>"));
    fenwald.interrupt();  // Ctrl+C
    Outcome r = fenwald.wait(30s);
    EXPECT_EQ(r.status, 130) << r.err;
}

TEST_F(FenwaldMonitor, AReaderThatWentAwayEndsItAndItFails) {
    fenwald.setInput(fifo);
    fenwald.start({"monitor", "--port", "6", "--baud", "115200"}, "/dev/full", work);
    input = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(input, 0);
    ASSERT_TRUE(lineSetTo(115200));
    // The device keeps talking; nothing it says can be written.
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        while (!stop) {
            device.line().send(std::string("tick\r"));
            std::this_thread::sleep_for(20ms);
        }
    });
    Outcome r = fenwald.wait(30s);
    stop = true;
    talker.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "fenwald: cannot write to standard output: No space left on device\n");
}

TEST_F(FenwaldMonitor, SendFileSendsTheWholeFileAndEnds) {
    const std::string content = numberedLines(30'000);
    const std::string path = env.dir().file("text.txt");
    testenv::writeFile(path, content);
    device.line().setPacing(true);
    Outcome r =
        fenwald.run({"monitor", "--port", "6", "--baud", "115200", "--send-file", path}, work);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "File transferred\n");
    ASSERT_TRUE(device.line().waitReceived(content.size(), 10000ms));
    EXPECT_EQ(received(device.line()), content);

    // An empty file is refused and nothing goes out.
    device.line().clearReceived();
    const std::string empty = env.dir().file("empty.txt");
    testenv::writeFile(empty, "");
    r = fenwald.run({"monitor", "--port", "6", "--send-file", empty}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot read from " + empty + "\n");
    EXPECT_TRUE(device.line().received().empty());
}

TEST_F(FenwaldMonitor, UsageErrorsAndAMissingPortSayWhy) {
    Outcome r = fenwald.run({"monitor", "--baud", "1234"}, work);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--baud takes 1200"), std::string::npos) << r.err;
    r = fenwald.run({"monitor", "--format", "octal"}, work);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("unknown value for --format: octal"), std::string::npos) << r.err;
    r = fenwald.run({"monitor", "--port", "9"}, work);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("Cannot open com port", 0), 0u) << r.err;
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=6\nirda=4\nbaudrate=57600\n");
    fenwald.setInput("/dev/null");
    r = fenwald.run({"monitor"}, work);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "Invalid baudrate selected\nChanged to 9600\n");
}

// 5 s at 115200 baud in each format (the minute's run is the benchmark's).
TEST_F(FenwaldMonitor, AStreamAt115200LosesAndDoublesNothingInEachFormat) {
    device.line().setPacing(true);
    for (const char* format : {"normal", "ascii", "hex"}) {
        const int f = std::string(format) == "normal"  ? serial::kFormatNormal
                      : std::string(format) == "ascii" ? serial::kFormatAscii
                                                       : serial::kFormatHex;
        start({"monitor", "--port", "6", "--baud", "115200", "--format", format});
        type("x");  // once it is back, the monitor reads the line
        ASSERT_TRUE(device.line().waitReceived(1, 10000ms));
        ASSERT_TRUE(prints(printed("x", f)));
        device.line().clearReceived();
        const std::string stream = numberedLines(57'600);
        device.line().send(stream);
        const std::string expected = printed("x" + stream, f);
        ASSERT_TRUE(prints(expected.substr(expected.size() - 40), 60s)) << format;
        closeInput();
        Outcome r = fenwald.wait(30s);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, expected) << format;
    }
}

}  // namespace
