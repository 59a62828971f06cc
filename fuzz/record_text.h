// What the two firmware record fuzzers write records back with: hex digit pairs, and a
// comparison that lets the input's hex digits be in either case.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fuzzrecords {

inline void appendByte(std::string& text, unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[(value >> 4) & 0xF];
    text += kDigits[value & 0xF];
}

inline bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace fuzzrecords
