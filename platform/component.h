// Components hosted by a program: objects that live in loadable modules, are created by class
// ID, and are driven by dispatch ID, as automation controls are.
//
// How it works: the component registry (platform/component_host.h) maps a ProgID to its
// current version, that to a class ID, and the class ID to the module that serves it. The host
// loads the module, asks its entry point (kComponentEntryPoint) for an object of the class and
// from then on only writes properties and calls methods by dispatch ID, with the argument types
// I2 (16-bit), I4 (32-bit) and string. A component answers with events, also by dispatch ID,
// which it pushes into the event queue it was connected to.
//
// Threads: setProperty, invoke and the destructor come from one thread, the host's (a window's
// thread, or the command line's). A component does its long work on a thread of its own and
// pushes events from there; it never waits for whoever drains the queue. The destructor stops
// that thread first, so no event is pushed once it has returned.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/message_queue.h"

namespace platform {

// An argument or result: nothing, I2, I4 or an 8-bit string.
using DispatchValue = std::variant<std::monostate, std::int16_t, std::int32_t, std::string>;

struct ComponentEvent {
    int dispatchId = 0;
    std::vector<DispatchValue> arguments;
};
using ComponentEventQueue = MessageQueue<ComponentEvent>;

class Component {
public:
    virtual ~Component() = default;

    // Events from now on go to queue (which must outlive the component); null: nowhere.
    virtual void connectEvents(ComponentEventQueue* queue) = 0;
    // False when the component has no such property or the value has the wrong type.
    virtual bool setProperty(int dispatchId, const DispatchValue& value) = 0;
    // The method's result (monostate for a method without one); nothing when there is no such
    // method or the arguments do not fit it.
    virtual std::optional<DispatchValue> invoke(int dispatchId,
                                                const std::vector<DispatchValue>& arguments) = 0;
    // The small picture a window shows in the component's place, as PNG bytes; busy while an
    // operation runs. Empty when it has none.
    virtual std::vector<std::uint8_t> picturePng(bool busy) const = 0;
};

// Every component module exports this function (C linkage): a new object of the class, or
// null when the module does not serve that class ID ("{E91B52ED-...}", any letter case). The
// host deletes the object before it unloads the module.
using CreateComponentFunction = Component* (*)(const char* classId);
inline constexpr const char* kComponentEntryPoint = "veltrixCreateComponent";

// What a value holds, for a component's checks; nothing when it holds another type.
template <class T>
std::optional<T> dispatchAs(const DispatchValue& v) {
    if (const T* p = std::get_if<T>(&v)) return *p;
    return std::nullopt;
}

}  // namespace platform

// A module is built with hidden symbols (fenwald_component()), so the entry point is the only
// name it exports: nothing else in it can be bound by the host or clash with another module.
// This declaration gives the module's definition its visibility.
#define VELTRIX_EXPORT __attribute__((visibility("default")))
extern "C" VELTRIX_EXPORT platform::Component* veltrixCreateComponent(const char* classId);
