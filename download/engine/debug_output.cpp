#include "download/engine/debug_output.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace kolvane {

bool debugOutputEnabled() {
    static const bool enabled = [] {
        const char* v = std::getenv("KOLVANE_DEBUG");
        return v && *v && std::strcmp(v, "0") != 0;
    }();
    return enabled;
}

void debugOutput(const std::string& text) {
    if (!debugOutputEnabled()) return;
    static std::mutex lock;
    std::lock_guard l(lock);
    std::string line = text.substr(0, 255);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    std::fprintf(stderr, "kolvane: %s\n", line.c_str());
    std::fflush(stderr);
}

}  // namespace kolvane
