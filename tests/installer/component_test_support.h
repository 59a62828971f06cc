// What the component tests share: the build tree's component registry, firmware files of
// each format, and waiting for a component's events.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "installer/engine/gantry1.h"
#include "installer/engine/veskctl1.h"
#include "platform/component_host.h"

namespace testcomponents {

using Bytes = std::vector<std::uint8_t>;

// components.ini beside the build tree's fenwald, naming the real modules.
inline platform::ComponentRegistry buildTreeRegistry() {
    return platform::ComponentRegistry(FENWALD_COMPONENT_REGISTRY);
}

// size bytes of every value, the same for the same seed.
std::string randomBytes(std::size_t size, unsigned seed = 1);
// Intel HEX of data from address, 32 bytes a record, with an extended linear address record.
std::string intelHex(const std::string& data, std::uint32_t address = 0x10000);
// S-records (S0, S2 data, S8) of data from address, 32 bytes a record.
std::string sRecords(const std::string& data, std::uint32_t address = 0x20000);

// The loader's Status events until one ends the operation (or the limit passes).
std::vector<fenwald::GantryStatus> loaderStatuses(
    CGantry1& loader, std::chrono::seconds limit = std::chrono::seconds(120));

// The transfer's events until its Status (or the limit passes): the percentages, in order,
// and the statuses (exactly one when it ended).
struct TransferEvents {
    std::vector<int> progress;
    std::vector<fenwald::VeskStatus> statuses;
    int code() const { return statuses.empty() ? -1 : statuses.back().code; }
    std::string message() const { return statuses.empty() ? "" : statuses.back().message; }
};
TransferEvents transferEvents(CVeskctl1& transfer,
                              std::chrono::seconds limit = std::chrono::seconds(120));

}  // namespace testcomponents
