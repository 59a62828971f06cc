// CGantry1: the installer's handle on the loader component "Gantry.Gantry"
// (installer/engine/loader_interface.h), with the wrapper's documented members.
//
// It creates the component through the component registry and connects it to its own event
// queue. The setters and methods return at once; what the component does arrives as Status
// events in events(), which the window drains on its thread (serial/ui/queue_drain.h) and the
// command line waits on. Use it from one thread. A component that cannot be created leaves
// the wrapper empty: creationError() says which component is missing and where the host
// looked, and every call does nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/component_host.h"

namespace fenwald {

// A Status event, decoded.
struct GantryStatus {
    int percent = 0;
    int code = 0;
    std::string message;
};
std::optional<GantryStatus> decodeGantryStatus(const platform::ComponentEvent& event);

}  // namespace fenwald

class CGantry1 {
public:
    // The program's registry (platform::componentRegistryPath()), or the one given.
    CGantry1();
    explicit CGantry1(const platform::ComponentRegistry& registry);
    ~CGantry1();
    CGantry1(const CGantry1&) = delete;
    CGantry1& operator=(const CGantry1&) = delete;

    bool created() const { return component_ != nullptr; }
    const std::string& creationError() const { return creationError_; }

    void SetPort(std::int16_t port);
    void SetFileName(const std::string& path);
    void SetIrdaType(std::int32_t type);
    void Download();
    void ShowVersions();
    void SendTime();
    // Ends the running operation; its status (an error) follows.
    void cancel();

    platform::ComponentEventQueue& events() { return events_; }
    std::vector<std::uint8_t> picturePng(bool busy) const;

private:
    void call(int dispatchId);
    platform::ComponentEventQueue events_;  // outlives the component, which pushes into it
    std::unique_ptr<platform::HostedComponent> component_;
    std::string creationError_;
};
