#include <gtest/gtest.h>

#include <cerrno>

#include "serial/port_open.h"

TEST(PortOpen, TheAdviceSaysWhatToDo) {
    auto denied = platform::SystemError::fromCode(EACCES);
    // /dev/null belongs to root's group here; the advice names whatever group owns the device.
    EXPECT_EQ(serial::cannotOpenAdvice(denied, "/dev/null"),
              "/dev/null: permission denied. Join the group 'root' (sudo usermod -aG root $USER) "
              "and log in again.");
    EXPECT_NE(serial::cannotOpenAdvice(denied, "/dev/missing").find("'dialout'"),
              std::string::npos);
    EXPECT_EQ(serial::cannotOpenAdvice(platform::SystemError::fromCode(ENOTTY), "/dev/null"),
              "/dev/null is not a serial port. Check the port map.");
    EXPECT_EQ(serial::cannotOpenAdvice({}, "/dev/null"), "");
}
