#include "installer/engine/component_wrapper.h"

namespace fenwald {

ComponentWrapper::ComponentWrapper(const platform::ComponentRegistry& registry, const char* classId,
                                   const std::string& name, int cancelId)
    : cancelId_(cancelId) {
    auto made = platform::createComponent(classId, registry);
    if (!made.component) {
        creationError_ = name + " cannot be created: " + made.error;
        return;
    }
    component_ = std::move(made.component);
    component_->component().connectEvents(&events_);
}

ComponentWrapper::~ComponentWrapper() {
    // The component ends its work and stops its worker as it goes, so nothing is pushed
    // afterwards.
    component_.reset();
}

void ComponentWrapper::cancel() {
    invoke(cancelId_);
}

std::vector<std::uint8_t> ComponentWrapper::picturePng(bool busy) const {
    return component_ ? component_->component().picturePng(busy) : std::vector<std::uint8_t>{};
}

void ComponentWrapper::setProperty(int dispatchId, const platform::DispatchValue& value) {
    if (component_) component_->component().setProperty(dispatchId, value);
}

std::optional<platform::DispatchValue> ComponentWrapper::invoke(
    int dispatchId, const std::vector<platform::DispatchValue>& arguments) {
    if (!component_) return std::nullopt;
    return component_->component().invoke(dispatchId, arguments);
}

}  // namespace fenwald
