#include "installer/engine/start_file.h"

namespace fenwald {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::string startFileOf(std::string_view a) {
    while (!a.empty() && isBlank(a.front())) a.remove_prefix(1);
    while (!a.empty() && a.front() == '"') a.remove_prefix(1);
    while (!a.empty() && isBlank(a.back())) a.remove_suffix(1);
    while (!a.empty() && a.back() == '"') a.remove_suffix(1);
    return std::string(a);
}

bool isConfigurationFile(std::string_view name) {
    const auto at = name.find(".vsc");
    return at != std::string_view::npos && name.substr(at) == ".vsc";
}

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> args;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) ++i;
        if (i >= line.size()) break;
        std::string arg;
        if (line[i] == '"') {
            ++i;
            for (;;) {
                if (i >= line.size()) break;
                if (line[i] == '"' && (i + 1 == line.size() || isBlank(line[i + 1]))) {
                    ++i;
                    break;
                }
                arg += line[i++];
            }
        } else {
            while (i < line.size() && !isBlank(line[i])) arg += line[i++];
        }
        args.push_back(std::move(arg));
    }
    return args;
}

}  // namespace fenwald
