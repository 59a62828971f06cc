// Loadable modules (shared objects here, DLLs on the original platform): loading one with its
// symbols kept to itself, finding a function in it, unloading it. The component host's
// system side (platform/component_host.h); the texts of failures come from the system.
#pragma once

#include <string>

namespace platform {

struct ModuleLoad {
    void* module = nullptr;  // null on failure
    std::string error;       // the system's words for the failure
};

// Loads path with every reference resolved now, so a module with a missing symbol fails here
// and not in the middle of a call.
ModuleLoad loadModule(const std::string& path);
// The address of the exported symbol name; null (and the system's words in error) without it.
void* moduleSymbol(void* module, const char* name, std::string& error);
void unloadModule(void* module);
// The file a loaded module came from.
std::string moduleFilePath(void* module);

}  // namespace platform
