#include "serial/terminal_text.h"

#include <algorithm>

namespace serial {

namespace {

// Code page 1252 at 0x80..0x9F; the unassigned bytes map to themselves.
constexpr char32_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

char32_t ansiToUnicode(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char32_t(byte);
}

int unicodeToAnsi(char32_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF)) return int(ch);
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == ch) return 0x80 + i;
    return -1;
}

std::size_t charactersToTrim(std::size_t lengthBefore, std::size_t appended,
                             std::size_t threshold) {
    if (lengthBefore <= threshold) return 0;
    std::size_t after = lengthBefore + appended;
    return std::min(after, std::max(kTrimStep, after - threshold));
}

void TerminalLineBuffer::add(std::uint8_t byte) {
    if (complete_ || count_ >= kCapacity) return;
    bytes_[count_++] = static_cast<char>(byte);
}

void TerminalLineBuffer::startNewLineIfComplete() {
    if (!complete_) return;
    complete_ = false;
    count_ = 0;
}

}  // namespace serial
