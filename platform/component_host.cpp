#include "platform/component_host.h"

#include <filesystem>

#include "platform/folders.h"
#include "platform/loadable_module.h"
#include "platform/profile.h"

namespace platform {

namespace {

constexpr const char* kDefaultValue = "@";
constexpr const char* kRegistryFile = "components.ini";

}  // namespace

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
    // The object's code lives in the module: it goes first.
    delete component_;
    unloadModule(module_);
}

ComponentCreation createComponent(const std::string& classId, const ComponentRegistry& registry) {
    const auto path = registry.moduleOf(classId);
    if (!path || path->empty())
        return {nullptr, "the component " + classId + " is not registered in " + registry.file()};
    ModuleLoad load = loadModule(*path);
    if (!load.module)
        return {nullptr, "cannot load " + *path + " (the component " + classId + " in " +
                             registry.file() + "): " + load.error};
    std::string error;
    auto create = reinterpret_cast<CreateComponentFunction>(
        moduleSymbol(load.module, kComponentEntryPoint, error));
    if (!create) {
        unloadModule(load.module);
        return {nullptr, *path + " has no entry point " + kComponentEntryPoint +
                             " (the component " + classId + " in " + registry.file() +
                             "): " + error};
    }
    Component* component = nullptr;
    try {
        component = create(classId.c_str());
    } catch (...) {
        component = nullptr;
    }
    if (!component) {
        unloadModule(load.module);
        return {nullptr, *path + " has no component " + classId + " (registered in " +
                             registry.file() + ")"};
    }
    return {std::unique_ptr<HostedComponent>(new HostedComponent(load.module, component, *path)),
            {}};
}

}  // namespace platform
