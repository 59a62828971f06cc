// The component host: the registry that says which module serves which component, and the
// creation of components from it (platform/component.h).
//
// The registry is a profile-string file (platform/profile.h) that mirrors the keys a program
// reads under HKEY_CLASSES_ROOT; a section is a key path and its value "@" the key's default
// value:
//     [Gantry.Gantry\CurVer]                          @=Gantry.Gantry.1
//     [Gantry.Gantry.1\CLSID]                         @={E91B52ED-8E44-11D5-8369-8555C730F863}
//     [CLSID\{E91B52ED-8E44-11D5-8369-8555C730F863}\InprocServer32]   @=/path/to/module.so
// A module named by a relative path is looked for from the registry's own folder (the installed
// registry names its modules so, and works wherever the tree was installed or staged).
// A program uses the registry beside its executable when there is one (the build tree
// registers its own modules there), else the installed one (componentRegistryPath()).
//
// With VELTRIX_TRACE=component the host traces each creation and call, and the components
// trace each event they push (traceComponentEvent).
//
// Threads: create, use and destroy a component on one thread (see platform/component.h).
// Errors: a component that cannot be created says why and where the host looked.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/component.h"

namespace platform {

class ComponentRegistry {
public:
    explicit ComponentRegistry(std::string file) : file_(std::move(file)) {}
    const std::string& file() const { return file_; }

    // The default value of a key path ("Gantry.Gantry\CurVer"); nothing when the key is not
    // there.
    std::optional<std::string> defaultValue(const std::string& keyPath) const;
    // Writes it (creating the file), as an installation registers a component.
    bool setDefaultValue(const std::string& keyPath, const std::string& value) const;

    // ProgID -> CurVer -> CLSID, and CLSID -> InprocServer32 (a relative module path taken
    // from the registry's folder); nothing when a key is missing.
    std::optional<std::string> classIdOf(const std::string& progId) const;
    std::optional<std::string> moduleOf(const std::string& classId) const;
    // Registers a component under its ProgID (version 1) and class ID.
    bool registerComponent(const std::string& progId, const std::string& classId,
                           const std::string& modulePath) const;

private:
    std::string file_;
};

// The registry file this program uses: "components.ini" beside the executable when it exists,
// else the one the installation put under the library folder.
std::string componentRegistryPath();

struct ComponentCreation;

// A component and the module it came from; the module stays loaded while the object lives.
class HostedComponent {
public:
    ~HostedComponent();
    HostedComponent(const HostedComponent&) = delete;
    HostedComponent& operator=(const HostedComponent&) = delete;

    // The component itself, or with VELTRIX_TRACE=component a stand-in that traces each call.
    Component& component() { return traced_ ? *traced_ : *component_; }
    const std::string& modulePath() const { return modulePath_; }

private:
    friend ComponentCreation createComponent(const std::string&, const ComponentRegistry&);
    HostedComponent(void* module, Component* component, std::string modulePath);
    void* module_;
    Component* component_;
    std::string modulePath_;
    std::unique_ptr<Component> traced_;  // goes before the component it calls
};

struct ComponentCreation {
    std::unique_ptr<HostedComponent> component;  // null on failure
    // Why not, naming the component and where the host looked: "the component
    // {E91B...} is not registered in /x/components.ini", "cannot load /x/libgantry.so: ...",
    // "/x/libgantry.so has no component {E91B...}".
    std::string error;
};

ComponentCreation createComponent(const std::string& classId, const ComponentRegistry& registry);

// Dispatch values as a trace shows them: (I2 5, I4 -1, "text", empty), a string escaped.
std::string dispatchValuesText(const std::vector<DispatchValue>& values);
// A component's event as a trace line (VELTRIX_TRACE=component), where a component pushes it.
void traceComponentEvent(const ComponentEvent& event);

}  // namespace platform
