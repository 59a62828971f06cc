// fenwald configure, in the program's own command-line table, against the simulated scanner.
#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "installer/cli/fenwald_cli.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct Result {
    int status;
    std::string out, err;
};

struct ConfigureCommand : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    std::atomic<bool> interrupted{false};

    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 4, "Veltrix Scanner (COM4)"));
    }
    Result run(std::vector<std::string> args) {
        std::ostringstream out, err;
        serial::cli::Console console{out, err, false, &interrupted};
        int status = serial::cli::run(fenwald::cli::program(), args, console);
        return {status, out.str(), err.str()};
    }
    std::string file(const std::string& content) {
        std::string path = env.dir().file("scanner.vsc");
        testenv::writeFile(path, content);
        return path;
    }
    std::string received() {
        auto r = scanner.line().received();
        return std::string(r.begin(), r.end());
    }
};

}  // namespace

TEST_F(ConfigureCommand, AnAcknowledgedConfigurationPrintsThePortAndRateAndExits0) {
    scanner.setOwnRates({38400});
    Result r = run({"configure", file("Config=ABC"), "--port", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Configuration found. scanner.vsc\nCOM 4\n38400 bps\nCOM 4\n38400 bps\n"
              "Scanner Configured succesfully!\n");
    EXPECT_NE(received().find("\x1b"
                              "ABCZ2\r"),
              std::string::npos);
    ASSERT_EQ(scanner.configurations().size(), 1u);
    EXPECT_TRUE(scanner.configurations()[0].permanent);
}

TEST_F(ConfigureCommand, BytesWaitingOnTheLineAreNoAnswer) {
    scanner.setOwnRates({38400});
    // What a scanner said before: ACKs among it would read as answers at every rate tried.
    ASSERT_TRUE(scanner.line().send(std::string("\x06\x06noise\x06\x15\x06")));
    Result r = run({"configure", file("Config=ABC"), "--port", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Configuration found. scanner.vsc\nCOM 4\n38400 bps\nCOM 4\n38400 bps\n"
              "Scanner Configured succesfully!\n");
}

TEST_F(ConfigureCommand, CtrlCEndsTheSearchAndNothingGoesOutAfterIt) {
    scanner.setOwnRates({600});  // the last rate tried: the search takes a while
    std::thread ctrlC([&] {
        testenv::eventually([&] { return !received().empty(); }, 10s);
        interrupted = true;
    });
    Result r = run({"configure", file("Config=ABC"), "--port", "4"});
    ctrlC.join();
    EXPECT_EQ(r.status, 130) << r.err;
    EXPECT_EQ(received().find("ABC"), std::string::npos);
    EXPECT_TRUE(scanner.configurations().empty());
    const std::size_t sent = received().size();
    std::this_thread::sleep_for(300ms);  // the search does not go on behind the exit
    EXPECT_EQ(received().size(), sent);
}

TEST_F(ConfigureCommand, AConfigurationThatChangesTheRateIsFoundAtTheNewRate) {
    // "rate=N" is the simulated scanner's marker for a configuration that moves its rate.
    Result r = run({"configure", file("Config=rate=19200"), "--port", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Configuration found. scanner.vsc\nCOM 4\n9600 bps\nCOM 4\n19200 bps\n"
              "Scanner Configured succesfully!\n");
}

TEST_F(ConfigureCommand, TemporaryLeavesOutZ2AndARefusalExits1) {
    ASSERT_EQ(scanner.command("fault config-refuse"), "ok");
    Result r = run({"configure", file("Config=ABC"), "--port", "4", "--temporary"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Scanner does not accept configuration.\n");
    const std::string got = received();
    EXPECT_NE(got.find("\x1b"
                       "ABC\r"),
              std::string::npos);
    EXPECT_EQ(got.find("Z2"), std::string::npos);
}

TEST_F(ConfigureCommand, TheSettingsFilesPortIsUsedWithoutPort) {
    // fenwald.ini in the working folder names COM 4.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(env.dir().path().c_str()), 0);
    testenv::writeFile("fenwald.ini", "[Main]\nport=4\n");
    Result r = run({"configure", file("Config=X")});
    ASSERT_EQ(::chdir(cwd), 0);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("COM 4\n9600 bps\n"), std::string::npos);
}

TEST_F(ConfigureCommand, BadFilesAMissingPortAndASilentScannerFailWithTheirMessages) {
    Result r = run({"configure", file("Config="), "--port", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Configuration file is empty.\n");
    r = run({"configure", file("config=ABC"), "--port", "4"});
    EXPECT_EQ(r.err, "Configuration file is not valid.\n");
    EXPECT_TRUE(received().empty());  // nothing went out for a bad file

    r = run({"configure", file("Config=A"), "--port", "9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open comport.\n");

    scanner.line().setSilent(true);
    r = run({"configure", file("Config=A"), "--port", "4"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "No scanner answered on COM 4.\n");

    r = run({"configure"});
    EXPECT_EQ(r.status, 2);
}
