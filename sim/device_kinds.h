// The kinds of device veltrix-sim can be, by name, each with its own options.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace sim {

struct DeviceKind {
    const char* name;
    const char* usage;  // its own options, for --help
    // Builds the device from its options; on bad options returns null with error set.
    std::unique_ptr<SimDevice> (*make)(const std::vector<std::string>& options, std::string& error);
};

const std::vector<DeviceKind>& deviceKinds();

}  // namespace sim
