#include "installer/engine/gantry1.h"

#include "installer/engine/loader_interface.h"

using namespace fenwald;

namespace fenwald {

std::optional<GantryStatus> decodeGantryStatus(const platform::ComponentEvent& e) {
    if (e.dispatchId != gantry::kStatusEvent || e.arguments.size() != 4) return std::nullopt;
    auto percent = platform::dispatchAs<std::int16_t>(e.arguments[1]);
    auto code = platform::dispatchAs<std::int16_t>(e.arguments[2]);
    auto message = platform::dispatchAs<std::string>(e.arguments[3]);
    if (!percent || !code || !message) return std::nullopt;
    return GantryStatus{*percent, *code, *message};
}

}  // namespace fenwald

CGantry1::CGantry1() : CGantry1(platform::ComponentRegistry(platform::componentRegistryPath())) {}

CGantry1::CGantry1(const platform::ComponentRegistry& registry)
    : ComponentWrapper(registry, gantry::kClassId,
                       std::string("The firmware loader ") + gantry::kProgId, gantry::kCancel) {}

void CGantry1::SetPort(std::int16_t port) {
    setProperty(gantry::kPort, port);
}

void CGantry1::SetFileName(const std::string& path) {
    setProperty(gantry::kFileName, path);
}

void CGantry1::SetIrdaType(std::int32_t type) {
    setProperty(gantry::kIrdaType, type);
}

void CGantry1::Download() {
    invoke(gantry::kDownload);
}

void CGantry1::ShowVersions() {
    invoke(gantry::kShowVersions);
}

void CGantry1::SendTime() {
    invoke(gantry::kSendTime);
}
