#include "platform/component_host.h"

#include <filesystem>

#include "platform/folders.h"
#include "platform/loadable_module.h"
#include "platform/profile.h"
#include "platform/trace.h"

namespace platform {

namespace {

constexpr const char* kDefaultValue = "@";
constexpr const char* kRegistryFile = "components.ini";

bool tracing() {
    return trace::enabled(trace::Kind::Component);
}

void traceComponent(const std::string& classId, const std::string& what) {
    trace::write(trace::Kind::Component, trace::escaped(classId) + " " + what);
}

std::string valueText(const DispatchValue& v) {
    if (auto i2 = dispatchAs<std::int16_t>(v)) return "I2 " + std::to_string(*i2);
    if (auto i4 = dispatchAs<std::int32_t>(v)) return "I4 " + std::to_string(*i4);
    if (auto text = dispatchAs<std::string>(v))
        return "\"" + trace::bytes(text->data(), text->size()) + "\"";
    return "empty";
}

// Stands in for a component while calls are traced; every call goes on to the component.
class TracedComponent final : public Component {
public:
    TracedComponent(Component& component, std::string classId)
        : component_(component), classId_(std::move(classId)) {}

    void connectEvents(ComponentEventQueue* queue) override {
        traceComponent(classId_, queue ? "connect events" : "disconnect events");
        component_.connectEvents(queue);
    }
    bool setProperty(int dispatchId, const DispatchValue& value) override {
        const bool set = component_.setProperty(dispatchId, value);
        traceComponent(classId_, "setProperty " + std::to_string(dispatchId) + " = " +
                                     valueText(value) + (set ? "" : ": refused"));
        return set;
    }
    std::optional<DispatchValue> invoke(int dispatchId,
                                        const std::vector<DispatchValue>& arguments) override {
        // Before and after: a method may run long, and what it starts shows between.
        const std::string call =
            "invoke " + std::to_string(dispatchId) + dispatchValuesText(arguments);
        traceComponent(classId_, call);
        auto result = component_.invoke(dispatchId, arguments);
        traceComponent(classId_, call + (result ? " = " + valueText(*result) : ": refused"));
        return result;
    }
    std::vector<std::uint8_t> picturePng(bool busy) const override {
        return component_.picturePng(busy);
    }

private:
    Component& component_;
    const std::string classId_;
};

}  // namespace

std::string dispatchValuesText(const std::vector<DispatchValue>& values) {
    std::string text = "(";
    for (const DispatchValue& v : values) text += (text.size() > 1 ? ", " : "") + valueText(v);
    return text + ")";
}

void traceComponentEvent(const ComponentEvent& event) {
    if (!tracing()) return;
    trace::write(trace::Kind::Component,
                 "event " + std::to_string(event.dispatchId) + dispatchValuesText(event.arguments));
}

std::optional<std::string> ComponentRegistry::defaultValue(const std::string& keyPath) const {
    return profile::read(file_, keyPath, kDefaultValue);
}

bool ComponentRegistry::setDefaultValue(const std::string& keyPath,
                                        const std::string& value) const {
    return profile::write(file_, keyPath, kDefaultValue, value);
}

std::optional<std::string> ComponentRegistry::classIdOf(const std::string& progId) const {
    const auto current = defaultValue(progId + "\\CurVer");
    if (!current) return std::nullopt;
    return defaultValue(*current + "\\CLSID");
}

std::optional<std::string> ComponentRegistry::moduleOf(const std::string& classId) const {
    auto module = defaultValue("CLSID\\" + classId + "\\InprocServer32");
    // A relative name keeps an installed tree movable (a package staged under DESTDIR, a
    // prefix chosen at install time): it is where the registry is.
    if (module && !module->empty() && module->front() != '/')
        return joinPath(parentFolder(file_), *module);
    return module;
}

bool ComponentRegistry::registerComponent(const std::string& progId, const std::string& classId,
                                          const std::string& modulePath) const {
    const std::string versioned = progId + ".1";
    return setDefaultValue(progId + "\\CurVer", versioned) &&
           setDefaultValue(progId + "\\CLSID", classId) &&
           setDefaultValue(versioned + "\\CLSID", classId) &&
           setDefaultValue("CLSID\\" + classId + "\\InprocServer32", modulePath);
}

std::string componentRegistryPath() {
    const std::string folder = parentFolder(executablePath());
    const std::string beside = joinPath(folder, kRegistryFile);
    if (fileExists(beside)) return beside;
    // Where the installation puts it, relative to the installed executables (set by CMake).
    const std::filesystem::path installed(VELTRIX_INSTALLED_COMPONENT_REGISTRY);
    if (installed.is_absolute()) return installed.lexically_normal().string();
    return (std::filesystem::path(folder) / installed).lexically_normal().string();
}

HostedComponent::HostedComponent(void* module, Component* component, std::string modulePath)
    : module_(module), component_(component), modulePath_(std::move(modulePath)) {}

HostedComponent::~HostedComponent() {
    traced_.reset();
    // The object's code lives in the module: it goes first.
    delete component_;
    unloadModule(module_);
}

namespace {

// A module loaded and its object made, or why not.
struct Loaded {
    void* module = nullptr;
    Component* component = nullptr;
    std::string path, error;
};

Loaded loadComponent(const std::string& classId, const ComponentRegistry& registry) {
    const auto path = registry.moduleOf(classId);
    if (!path || path->empty())
        return {nullptr,
                nullptr,
                {},
                "the component " + classId + " is not registered in " + registry.file()};
    ModuleLoad load = loadModule(*path);
    if (!load.module)
        return {nullptr,
                nullptr,
                {},
                "cannot load " + *path + " (the component " + classId + " in " + registry.file() +
                    "): " + load.error};
    std::string error;
    auto create = reinterpret_cast<CreateComponentFunction>(
        moduleSymbol(load.module, kComponentEntryPoint, error));
    if (!create) {
        unloadModule(load.module);
        return {nullptr,
                nullptr,
                {},
                *path + " has no entry point " + kComponentEntryPoint + " (the component " +
                    classId + " in " + registry.file() + "): " + error};
    }
    Component* component = nullptr;
    try {
        component = create(classId.c_str());
    } catch (...) {
        component = nullptr;
    }
    if (!component) {
        unloadModule(load.module);
        return {
            nullptr,
            nullptr,
            {},
            *path + " has no component " + classId + " (registered in " + registry.file() + ")"};
    }
    return {load.module, component, *path, {}};
}

}  // namespace

ComponentCreation createComponent(const std::string& classId, const ComponentRegistry& registry) {
    Loaded loaded = loadComponent(classId, registry);
    if (!loaded.component) {
        if (tracing()) traceComponent(classId, "create failed: " + trace::escaped(loaded.error));
        return {nullptr, std::move(loaded.error)};
    }
    std::unique_ptr<HostedComponent> hosted(
        new HostedComponent(loaded.module, loaded.component, loaded.path));
    if (tracing()) {
        traceComponent(classId, "created from " + trace::escaped(loaded.path));
        hosted->traced_ = std::make_unique<TracedComponent>(*loaded.component, classId);
    }
    return {std::move(hosted), {}};
}

}  // namespace platform
