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

// The line after "RS line can't be used." when the line went away during a job.
inline std::string lineLost(int com) {
    return "The line to COM" + std::to_string(com) +
           " was lost: check that the device is plugged in and its port is still in the port "
           "map. The device's flash may be incomplete.";
}

}  // namespace kolvanetest
