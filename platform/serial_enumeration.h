// The serial devices the system reports (udev's tty subsystem, devices with hardware behind
// them), for the port map to number.
#pragma once

#include <string>
#include <vector>

#include "platform/system_error.h"

namespace platform {

struct SerialDeviceFound {
    std::string stablePath;   // /dev/serial/by-id link where there is one, else the node
    std::string devNode;      // /dev/ttyUSB0 ...
    std::string description;  // vendor and model, may be empty
    bool isUsb = false;
};

std::vector<SerialDeviceFound> enumerateSerialDevices(SystemError& err);

}  // namespace platform
