#include "platform/loadable_module.h"

#include <dlfcn.h>
#include <link.h>

namespace platform {

namespace {

std::string lastError() {
    const char* e = ::dlerror();
    return e ? e : "unknown error";
}

}  // namespace

ModuleLoad loadModule(const std::string& path) {
    // dlopen would search the library path for a bare name; a registry names files.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    ::dlerror();
    void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) return {nullptr, lastError()};
    return {module, {}};
}

void* moduleSymbol(void* module, const char* name, std::string& error) {
    ::dlerror();
    void* symbol = ::dlsym(module, name);
    if (!symbol) error = lastError();
    return symbol;
}

void unloadModule(void* module) {
    if (module) ::dlclose(module);
}

std::string moduleFilePath(void* module) {
    link_map* map = nullptr;
    if (!module || ::dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return "";
    return map->l_name;
}

}  // namespace platform
