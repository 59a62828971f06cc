#include "serial/display_text.h"

#include <cstdio>

#include "serial/terminal_format.h"

namespace serial {

std::string displayText(std::string_view text, std::size_t limit) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    if (limit < 8 || out.size() <= limit) return out;
    const std::size_t head = (limit - 3) / 2, tail = limit - 3 - head;
    auto startOfCharacter = [&](std::size_t i) {
        // Never cut inside a UTF-8 sequence.
        while (i > 0 && i < out.size() && (static_cast<unsigned char>(out[i]) & 0xC0) == 0x80) --i;
        return i;
    };
    std::size_t headEnd = startOfCharacter(head);
    std::size_t tailStart = out.size() - tail;
    while (tailStart < out.size() && (static_cast<unsigned char>(out[tailStart]) & 0xC0) == 0x80)
        ++tailStart;
    return out.substr(0, headEnd) + "..." + out.substr(tailStart);
}

std::string namedControlBytes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20)
            out += controlCharName(c);
        else if (c == 0x7F)
            out += "<DEL>";
        else
            out += static_cast<char>(c);
    }
    return out;
}

}  // namespace serial
