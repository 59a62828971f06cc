// Any text as the installer's command line and as a start-file argument. Beyond the sanitizers'
// checks: the arguments take no more characters than the line has, one that came unquoted has
// no blanks, and the arguments written out quoted split back to themselves; a start file is a
// piece of its argument, and a configuration name ends in its only ".vsc".
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "installer/engine/start_file.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto args = fenwald::splitCommandLine(line);
    std::size_t characters = 0;
    std::string quoted;
    for (const auto& a : args) {
        characters += a.size();
        check(line.find(a) != std::string_view::npos);
        if (!quoted.empty()) quoted += ' ';
        quoted += '"' + a + '"';
    }
    check(characters <= size);
    check(args.size() <= size / 2 + 1);
    check(fenwald::splitCommandLine(quoted) == args);

    const std::string file = fenwald::startFileOf(line);
    check(line.find(file) != std::string_view::npos);
    check(file.empty() || (file.front() != '"' && file.back() != '"'));
    if (fenwald::isConfigurationFile(line)) {
        check(line.ends_with(".vsc"));
        check(line.find(".vsc") == size - 4);
    }
    return 0;
}
