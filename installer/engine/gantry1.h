// CGantry1: the installer's handle on the loader component "Gantry.Gantry"
// (installer/engine/loader_interface.h), with the wrapper's documented members.
//
// It creates the component through the component registry and connects it to its own event
// queue (installer/engine/component_wrapper.h). The setters and methods return at once; what
// the component does arrives as Status events in events(), which the window drains on its
// thread (serial/ui/queue_drain.h) and the command line waits on; cancel() ends the running
// operation, and its status (an error) follows. Use it from one thread. A component that
// cannot be created leaves the wrapper empty: creationError() says which component is missing
// and where the host looked, and every call does nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "installer/engine/component_wrapper.h"

namespace fenwald {

// A Status event, decoded.
struct GantryStatus {
    int percent = 0;
    int code = 0;
    std::string message;
};
std::optional<GantryStatus> decodeGantryStatus(const platform::ComponentEvent& event);

}  // namespace fenwald

class CGantry1 : public fenwald::ComponentWrapper {
public:
    // The program's registry (platform::componentRegistryPath()), or the one given.
    CGantry1();
    explicit CGantry1(const platform::ComponentRegistry& registry);

    void SetPort(std::int16_t port);
    void SetFileName(const std::string& path);
    void SetIrdaType(std::int32_t type);
    void Download();
    void ShowVersions();
    void SendTime();
};
