// Log lines the download tool's tests expect in several places.
#pragma once

#include <string>

#include "platform/port_map.h"

namespace kolvanetest {

// The second line of a failed open when the port map has no such port.
inline std::string notInPortMap(int com) {
    return "COM" + std::to_string(com) + " is not in the port map " + platform::portMapPath() +
           ". Check that the device is plugged in.";
}

// The second line of "An input file didn't open it." for a file that is not there.
inline std::string noSuchFile(const std::string& path) {
    return path + ": No such file or directory";
}

}  // namespace kolvanetest
