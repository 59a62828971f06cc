#include "download/engine/debug_output.h"

#include <cstdlib>
#include <cstring>

#include "platform/trace.h"

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
    std::string line = text.substr(0, 255);
    while (!line.empty() && line.back() == '\n') line.pop_back();
    platform::trace::errorLine("kolvane: " + line);
}

}  // namespace kolvane
