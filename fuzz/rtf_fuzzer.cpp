// Any bytes as coloured terminal text saved as RTF, read back with the tests' RTF reader.
// Beyond the sanitizers' checks: the document is well formed, and its font, size and text read
// back as written, each character in its run's colour; only characters a document cannot show
// (controls other than tab and line end, lone surrogates, values past Unicode) are dropped.
//
// The input: a font name up to the first NUL, a size byte, then the runs: byte 0x01 starts a
// run whose colour the next byte picks, 0xF0 to 0xFF take the next three bytes as a character
// (any 32-bit value), any other byte is that character.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/rtf_writer.h"
#include "tests/serial/rtf_reader.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool shown(char32_t ch) {
    if (ch == U'\n' || ch == U'\t') return true;
    if (ch < 0x20 || ch == 0x7F || ch > 0x10FFFF) return false;
    return ch < 0xD800 || ch > 0xDFFF;
}

serial::ColourRef colourOf(std::uint8_t pick, std::uint8_t r, std::uint8_t g) {
    switch (pick % 5) {
        case 0:
            return serial::kColourAutomatic;
        case 1:
            return serial::kColourRed;
        case 2:
            return serial::kColourBlue;
        case 3:
            return serial::kColourDarkBlue;
        default:
            return serial::makeColourRef(r, g, pick);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    if (nul == std::string_view::npos || nul + 1 >= size) return 0;
    const std::string font(input.substr(0, nul));
    const double pointSize = data[nul + 1] / 4.0;

    std::vector<serial::TextRun> runs(1);
    for (std::size_t i = nul + 2; i < size;) {
        std::uint8_t b = data[i++];
        if (b == 0x01) {
            std::uint8_t pick = i < size ? data[i++] : 0;
            runs.push_back({colourOf(pick, static_cast<std::uint8_t>(i), b), {}});
        } else if (b >= 0xF0) {
            char32_t ch = b & 0x0F;
            for (int k = 0; k < 3; ++k) ch = ch << 8 | (i < size ? data[i++] : 0);
            runs.back().text += ch;
        } else {
            runs.back().text += char32_t(b);
        }
    }

    const std::string rtf = serial::writeRtf(runs, font, pointSize);
    const rtftest::Document doc = rtftest::read(rtf);
    check(doc.ok);
    check(doc.halfPoints == std::max(2, static_cast<int>(std::lround(pointSize * 2))));

    std::string expectedFont;
    for (char c : font) {
        auto u = static_cast<unsigned char>(c);
        if (c != ';' && shown(u)) expectedFont += c;
    }
    check(doc.font == expectedFont);

    std::vector<std::pair<serial::ColourRef, char32_t>> written, read;
    for (const auto& run : runs)
        for (char32_t ch : run.text)
            if (shown(ch)) written.emplace_back(run.colour, ch);
    for (const auto& run : doc.runs)
        for (char32_t ch : run.text) read.emplace_back(run.colour, ch);
    check(written == read);
    return 0;
}
