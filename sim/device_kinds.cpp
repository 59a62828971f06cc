#include "sim/device_kinds.h"

#include "sim/echo_device.h"
#include "sim/z7_device.h"

namespace sim {

namespace {

std::unique_ptr<SimDevice> makeEcho(const std::vector<std::string>& options, std::string& error) {
    if (!options.empty()) {
        error = "echo takes no options: " + options.front();
        return nullptr;
    }
    return std::make_unique<EchoDevice>();
}

}  // namespace

const std::vector<DeviceKind>& deviceKinds() {
    static const std::vector<DeviceKind> kinds = {
        {"echo", "", makeEcho},
        {"z7", Z7Device::usage(), Z7Device::make},
    };
    return kinds;
}

}  // namespace sim
