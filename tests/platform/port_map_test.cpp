#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "platform/folders.h"
#include "platform/port_map.h"
#include "sim/sim_line.h"
#include "tests/support/test_env.h"

TEST(PortMap, ParsesPortsNamesAndComments) {
    auto ports = platform::parsePortMap(
        "# simulated ports\n"
        "COM3 /dev/pts/4 Veltrix Scanner (COM3)\n"
        "com12\t/dev/ttyUSB0   USB Serial Port (COM12)  # adapter\n"
        "COM7 /dev/pts/9\n"
        "COM0 /dev/null\n"
        "LPT1 /dev/lp0\n"
        "COM5\n"
        "COMx /dev/pts/1\n");
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].number, 3);
    EXPECT_EQ(ports[0].devicePath, "/dev/pts/4");
    EXPECT_EQ(ports[0].displayName, "Veltrix Scanner (COM3)");
    EXPECT_EQ(ports[1].number, 12);
    EXPECT_EQ(ports[1].displayName, "USB Serial Port (COM12)");
    EXPECT_TRUE(ports[1].isUsb);
    EXPECT_EQ(ports[2].number, 7);
    EXPECT_EQ(ports[2].displayName, "");
}

TEST(PortMap, RegisterReplacesTheLineOfItsNumberAndUnregisterRemovesIt) {
    testenv::IsolatedPorts env;
    env.writeMap("# kept comment\nCOM1 /dev/ttyS0\n");
    ASSERT_TRUE(platform::registerPort(env.mapFile(), {4, "/dev/pts/1", "First (COM4)"}));
    ASSERT_TRUE(platform::registerPort(env.mapFile(), {4, "/dev/pts/2", "Second (COM4)"}));
    EXPECT_EQ(testenv::readFile(env.mapFile()),
              "# kept comment\nCOM1 /dev/ttyS0\nCOM4 /dev/pts/2 Second (COM4)\n");
    auto list = platform::listPorts();
    ASSERT_EQ(list.ports.size(), 2u);
    EXPECT_EQ(platform::findPort(4)->devicePath, "/dev/pts/2");
    ASSERT_TRUE(platform::unregisterPort(env.mapFile(), 4));
    EXPECT_FALSE(platform::findPort(4));
    EXPECT_TRUE(platform::findPort(1));
}

TEST(PortMap, WithoutVeltrixPortsTheUsersMapListsThePortsWhoseDeviceIsThere) {
    testenv::IsolatedPorts env;
    ::unsetenv("VELTRIX_PORTS");
    sim::SimLine line;
    ASSERT_TRUE(line.open());
    std::string map = env.dir().file("config/veltrix/ports");
    EXPECT_EQ(platform::portMapPath(), map);
    platform::createDirectories(env.dir().file("config/veltrix"));
    testenv::writeFile(
        map, "COM9 " + line.devicePath() + " Bench adapter (COM9)\nCOM10 /dev/veltrix-unplugged\n");
    auto ports = platform::listPorts().ports;
    auto com9 = std::find_if(ports.begin(), ports.end(), [](auto& p) { return p.number == 9; });
    ASSERT_NE(com9, ports.end());
    EXPECT_EQ(com9->displayName, "Bench adapter (COM9)");
    EXPECT_TRUE(std::none_of(ports.begin(), ports.end(), [](auto& p) { return p.number == 10; }));
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(),
                               [](auto& a, auto& b) { return a.number < b.number; }));
}

TEST(PortMap, ASecondLineForOneNumberIsRefusedWithAWarningThatNamesBothLines) {
    std::vector<std::string> warnings;
    auto ports = platform::parsePortMap(
        "COM3 /dev/ttyS3 First\n# a comment\nCOM4 /dev/ttyS4\ncom3 /dev/ttyUSB0 Second\n",
        &warnings);
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].devicePath, "/dev/ttyS3");
    EXPECT_EQ(ports[1].number, 4);
    EXPECT_EQ(warnings,
              std::vector<std::string>{"line 4: COM3 is already on line 1; line 4 is ignored"});

    testenv::IsolatedPorts env;
    env.writeMap("COM1 /dev/null\nCOM1 /dev/zero\n");
    auto list = platform::listPorts();
    ASSERT_EQ(list.ports.size(), 1u);
    EXPECT_EQ(list.warnings,
              std::vector<std::string>{"The port map " + env.mapFile() +
                                       ", line 2: COM1 is already on line 1; line 2 is ignored."});
}
