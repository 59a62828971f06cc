#include <gtest/gtest.h>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "sim/echo_device.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

struct EchoOnCom3 : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::EchoDevice echo;
    platform::SerialDevice program;

    void SetUp() override {
        ASSERT_TRUE(echo.start(env.mapFile(), 3, "Veltrix Echo (COM3)"));
        auto port = platform::findPort(3);
        ASSERT_TRUE(port);
        EXPECT_EQ(port->displayName, "Veltrix Echo (COM3)");
        ASSERT_TRUE(program.open(port->devicePath));
    }
    std::string exchange(const std::string& out, std::size_t expect) {
        program.write(out.data(), out.size(), 1000ms);
        std::string in(expect, '\0');
        if (expect == 0) return program.readExact(in.data(), 1, 200ms) ? "unexpected" : "";
        return program.readExact(in.data(), expect, 2000ms) == expect ? in : "timeout";
    }
};

}  // namespace

TEST_F(EchoOnCom3, EchoesAndSeesTheProgramsLineSettings) {
    EXPECT_EQ(exchange("ping", 4), "ping");
    ASSERT_TRUE(
        program.setLineSettings({57600, 8, platform::parity::None, platform::stopbits::Two}));
    EXPECT_EQ(echo.line().programSettings(),
              (platform::LineSettings{57600, 8, platform::parity::None, platform::stopbits::Two}));
    EXPECT_EQ(exchange("pong", 4), "pong");
    EXPECT_EQ(echo.line().received(), (sim::Bytes{'p', 'i', 'n', 'g', 'p', 'o', 'n', 'g'}));
}

TEST_F(EchoOnCom3, SilenceGarbageAndPacingAreSwitchedByCommands) {
    EXPECT_EQ(echo.command("silent on"), "ok");
    EXPECT_EQ(exchange("lost", 0), "");
    EXPECT_EQ(echo.command("silent off"), "ok");
    EXPECT_EQ(echo.command("garbage 3A 0d"), "ok");
    EXPECT_EQ(exchange("", 2), ":\r");
    EXPECT_EQ(echo.command("pace on"), "ok");
    EXPECT_TRUE(echo.line().pacing());
    EXPECT_EQ(exchange("slow", 4), "slow");
    EXPECT_EQ(echo.command("garbage zz").rfind("error:", 0), 0u);
    EXPECT_EQ(echo.command("dance").rfind("error:", 0), 0u);
}

TEST_F(EchoOnCom3, AVanishedLineIsGoneFromTheMapAndFailsTheProgramsReads) {
    EXPECT_EQ(echo.command("vanish"), "ok");
    EXPECT_FALSE(platform::findPort(3));
    char c;
    EXPECT_EQ(program.readExact(&c, 1, 1000ms), 0u);
    EXPECT_FALSE(program.lastError().text.empty());
}
