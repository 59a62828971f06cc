// ComponentWrapper: what the installer's handles on its components (CGantry1, CVeskctl1) are
// built on. It creates the component by class ID through the component registry and connects
// it to its own event queue, which outlives the component; a handle adds the component's
// properties and methods, each a call to setProperty() or invoke().
//
// Use it from one thread. A component that cannot be created leaves the wrapper empty:
// creationError() names the component and says where the host looked, setProperty() and
// invoke() then do nothing (invoke() answers nothing) and picturePng() is empty.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/component_host.h"

namespace fenwald {

class ComponentWrapper {
public:
    ComponentWrapper(const ComponentWrapper&) = delete;
    ComponentWrapper& operator=(const ComponentWrapper&) = delete;

    bool created() const { return component_ != nullptr; }
    const std::string& creationError() const { return creationError_; }

    // Ends the running work; its status follows.
    void cancel();

    platform::ComponentEventQueue& events() { return events_; }
    std::vector<std::uint8_t> picturePng(bool busy) const;

protected:
    // name opens the creation error: "The firmware loader Gantry.Gantry".
    ComponentWrapper(const platform::ComponentRegistry& registry, const char* classId,
                     const std::string& name, int cancelId);
    ~ComponentWrapper();

    void setProperty(int dispatchId, const platform::DispatchValue& value);
    std::optional<platform::DispatchValue> invoke(
        int dispatchId, const std::vector<platform::DispatchValue>& arguments = {});

private:
    platform::ComponentEventQueue events_;  // outlives the component, which pushes into it
    std::unique_ptr<platform::HostedComponent> component_;
    std::string creationError_;
    int cancelId_;
};

}  // namespace fenwald
