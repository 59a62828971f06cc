// The parts of the terminal that need no window: its colours, the 8-bit code page the lines
// speak, the line buffer behind the repeat key, and how much old text to drop when the text
// has grown past its limit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace serial {

// Colours are platform colour values, 0x00BBGGRR.
using ColourRef = std::uint32_t;
constexpr ColourRef kColourRed = 0x0000FF;          // what the user sends
constexpr ColourRef kColourBlue = 0xFF0000;         // received data, transmitted file data
constexpr ColourRef kColourDarkBlue = 0x7F0000;     // the picture tool's replies
constexpr ColourRef kColourAutomatic = 0xFF000000;  // no colour of its own: the text colour

constexpr std::uint8_t colourRed(ColourRef c) {
    return c & 0xFF;
}
constexpr std::uint8_t colourGreen(ColourRef c) {
    return (c >> 8) & 0xFF;
}
constexpr std::uint8_t colourBlue(ColourRef c) {
    return (c >> 16) & 0xFF;
}
constexpr ColourRef makeColourRef(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return ColourRef(r) | ColourRef(g) << 8 | ColourRef(b) << 16;
}

// Line bytes are text in the Windows ANSI code page 1252. Every byte has a character (the
// five bytes 1252 leaves free keep their own code point), so bytes round-trip.
char32_t ansiToUnicode(std::uint8_t byte);
// The byte for a character, or -1 when code page 1252 has none.
int unicodeToAnsi(char32_t ch);

// Trimming thresholds in characters, and how much goes at least.
constexpr std::size_t kTrimThresholdInput = 1500000;
constexpr std::size_t kTrimThresholdDisplayOnly = 150000;
constexpr std::size_t kTrimStep = 2500;

// How many characters to delete from the start after appending `appended` characters to a
// text of `lengthBefore`: none while lengthBefore is at or below the threshold, else the first
// 2500, or more when the append alone would leave the text above the threshold (a single large
// append must not let the text grow without bound).
std::size_t charactersToTrim(std::size_t lengthBefore, std::size_t appended, std::size_t threshold);

// The characters typed since the last Enter, for the repeat key (F3): at most 100, and a flag
// that Enter has ended the line. The next key other than Ctrl, Enter or F3 starts a new line.
class TerminalLineBuffer {
public:
    static constexpr std::size_t kCapacity = 100;

    // Keeps a typed character while the line is open and has room.
    void add(std::uint8_t byte);
    void markComplete() { complete_ = true; }
    void startNewLineIfComplete();
    bool complete() const { return complete_; }
    std::string text() const { return std::string(bytes_.data(), count_); }

private:
    std::array<char, kCapacity> bytes_{};
    std::size_t count_ = 0;
    bool complete_ = false;
};

}  // namespace serial
