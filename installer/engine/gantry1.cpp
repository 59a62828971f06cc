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

CGantry1::CGantry1(const platform::ComponentRegistry& registry) {
    auto made = platform::createComponent(gantry::kClassId, registry);
    if (!made.component) {
        creationError_ = std::string("The firmware loader ") + gantry::kProgId +
                         " cannot be created: " + made.error;
        return;
    }
    component_ = std::move(made.component);
    component_->component().connectEvents(&events_);
}

CGantry1::~CGantry1() {
    // The component stops its worker as it goes, so nothing is pushed afterwards.
    component_.reset();
}

void CGantry1::SetPort(std::int16_t port) {
    if (component_) component_->component().setProperty(gantry::kPort, port);
}

void CGantry1::SetFileName(const std::string& path) {
    if (component_) component_->component().setProperty(gantry::kFileName, path);
}

void CGantry1::SetIrdaType(std::int32_t type) {
    if (component_) component_->component().setProperty(gantry::kIrdaType, type);
}

void CGantry1::call(int dispatchId) {
    if (component_) component_->component().invoke(dispatchId, {});
}

void CGantry1::Download() {
    call(gantry::kDownload);
}

void CGantry1::ShowVersions() {
    call(gantry::kShowVersions);
}

void CGantry1::SendTime() {
    call(gantry::kSendTime);
}

void CGantry1::cancel() {
    call(gantry::kCancel);
}

std::vector<std::uint8_t> CGantry1::picturePng(bool busy) const {
    return component_ ? component_->component().picturePng(busy) : std::vector<std::uint8_t>{};
}
