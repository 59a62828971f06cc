#include <gtest/gtest.h>

#include "serial/port_discovery.h"
#include "serial/serial_com.h"
#include "sim/echo_device.h"
#include "tests/support/test_env.h"

TEST(ListPortsForMenu, EachProgramHasItsOrder) {
    testenv::IsolatedPorts env;
    env.writeMap(
        "COM12 /dev/pts/12 Veltrix Scanner (COM12)\n"
        "COM3 /dev/pts/3 USB Serial Port (COM3)\n"
        "COM7 /dev/pts/7\n"
        "COM3 /dev/pts/30 Second COM3\n");
    std::vector<PortEntry> list = {{99, "stale"}};

    ASSERT_EQ(ListPortsForMenu(list, serial::PortOrder::Ascending), 3);
    EXPECT_EQ(list[0].number, 3);
    EXPECT_EQ(list[0].name, "USB Serial Port (COM3)");  // the first found wins
    EXPECT_EQ(list[1].number, 7);
    EXPECT_EQ(list[1].name, "COM7");
    EXPECT_EQ(list[2].number, 12);

    // The port map refuses the second COM3 line (a number names one device), so the order as
    // found has no duplicate left to keep.
    ASSERT_EQ(ListPortsForMenu(list, serial::PortOrder::AsFound), 3);
    EXPECT_EQ(list[0].number, 12);
    EXPECT_EQ(list[1].name, "USB Serial Port (COM3)");
    EXPECT_EQ(list[2].name, "");

    env.writeMap("");
    EXPECT_EQ(ListPortsForMenu(list, serial::PortOrder::Ascending), 0);
    EXPECT_TRUE(list.empty());
}

TEST(portDescriptionOf, CutsOnlyATrailingParenthesisedPortName) {
    EXPECT_EQ(serial::portDescriptionOf("USB Serial Port (COM5)"), "USB Serial Port");
    EXPECT_EQ(serial::portDescriptionOf("(COM5) USB"), "(COM5) USB");
    EXPECT_EQ(serial::portDescriptionOf(" (COM5)"), " (COM5)");
    EXPECT_EQ(serial::portDescriptionOf("Port (COM5) spare"), "Port (COM5) spare");
    EXPECT_EQ(serial::portDescriptionOf("Odd (COM5) x)"), "Odd (COM5) x)");
    EXPECT_EQ(serial::portDescriptionOf("COM5"), "COM5");
}

TEST(ListSerialPorts, FillsRecordsAndSkipsHeldPortsWhenAsked) {
    testenv::IsolatedPorts env;
    sim::EchoDevice free5, held6;
    ASSERT_TRUE(free5.start(env.mapFile(), 5, "USB Serial Port (COM5)"));
    ASSERT_TRUE(held6.start(env.mapFile(), 6, ""));
    CSerialCom holder;
    ASSERT_TRUE(holder.Open(6));

    std::vector<SSerInfo> records(1);
    EXPECT_EQ(ListSerialPorts(records, false), "");
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].portName, "COM5");
    EXPECT_EQ(records[0].friendlyName, "USB Serial Port (COM5)");
    EXPECT_EQ(records[0].portDescription, "USB Serial Port");
    EXPECT_EQ(records[0].devicePath, free5.line().devicePath());
    EXPECT_EQ(records[1].friendlyName, "COM6");  // no display name: the port name
    EXPECT_EQ(records[1].portDescription, "COM6");

    EXPECT_EQ(ListSerialPorts(records, true), "");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].portName, "COM5");
}
