// Any text as a port map. Beyond the sanitizers' checks: every port has a number from 1 and a
// device path without blanks, no number comes twice, every refused repeat is warned about, and
// the ports written out as map lines read back as the same ports.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "platform/port_map.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool same(const platform::PortInfo& a, const platform::PortInfo& b) {
    return a.number == b.number && a.devicePath == b.devicePath && a.displayName == b.displayName &&
           a.isUsb == b.isUsb;
}

bool blankAtEnds(const std::string& s) {
    return !s.empty() && (std::isspace(static_cast<unsigned char>(s.front())) ||
                          std::isspace(static_cast<unsigned char>(s.back())));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> warnings;
    const auto ports = platform::parsePortMap(text, &warnings);

    std::set<int> numbers;
    for (const auto& p : ports) {
        check(p.number >= 1);
        check(numbers.insert(p.number).second);
        check(!p.devicePath.empty() && p.devicePath.find_first_of(" \t\n#") == std::string::npos);
        check(!std::isspace(static_cast<unsigned char>(p.devicePath.front())));
        check(!blankAtEnds(p.displayName));
        check(p.displayName.find_first_of("\n#") == std::string::npos);
    }
    check(ports.size() + warnings.size() <=
          static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    for (const auto& w : warnings) check(w.starts_with("line ") && w.ends_with(" is ignored"));
    auto again = platform::parsePortMap(text);
    check(again.size() == ports.size());

    std::string map;
    for (const auto& p : ports) map += platform::formatPortMapLine(p) + "\n";
    std::vector<std::string> rewarned;
    const auto reread = platform::parsePortMap(map, &rewarned);
    check(rewarned.empty() && reread.size() == ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) check(same(reread[i], ports[i]));
    return 0;
}
