#include "serial/rtf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace serial {

namespace {

void appendHexByte(std::string& out, int byte) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "\\'%02x", byte & 0xFF);
    out += buf;
}

// \uN takes a signed 16-bit value; '?' is what readers without Unicode show instead (\uc1).
void appendUnicode(std::string& out, char32_t ch) {
    auto one = [&out](unsigned unit) {
        out += "\\u" + std::to_string(static_cast<std::int16_t>(unit)) + "?";
    };
    if (ch > 0xFFFF) {
        ch -= 0x10000;
        one(0xD800 + (ch >> 10));
        one(0xDC00 + (ch & 0x3FF));
    } else {
        one(ch);
    }
}

void appendText(std::string& out, const std::u32string& text) {
    for (char32_t ch : text) {
        switch (ch) {
            case U'\n':
                out += "\\par\r\n";
                continue;
            case U'\t':
                out += "\\tab ";
                continue;
            case U'\\':
                out += "\\\\";
                continue;
            case U'{':
                out += "\\{";
                continue;
            case U'}':
                out += "\\}";
                continue;
            default:
                break;
        }
        if (ch < 0x20 || ch == 0x7F) continue;  // no visible form in a document
        if (ch < 0x80) {
            out += static_cast<char>(ch);
        } else if (int byte = unicodeToAnsi(ch); byte >= 0) {
            appendHexByte(out, byte);
        } else if (ch <= 0x10FFFF && (ch < 0xD800 || ch > 0xDFFF)) {
            appendUnicode(out, ch);
        }
    }
}

}  // namespace

std::string writeRtf(const std::vector<TextRun>& runs, const std::string& fontName,
                     double pointSize) {
    std::vector<ColourRef> colours;  // index 0 of the table is the automatic colour
    for (const TextRun& run : runs)
        if (run.colour != kColourAutomatic &&
            std::find(colours.begin(), colours.end(), run.colour) == colours.end())
            colours.push_back(run.colour);

    std::u32string font;
    for (char c : fontName)
        if (c != ';') font += char32_t(static_cast<unsigned char>(c));
    int halfPoints = std::max(2, static_cast<int>(std::lround(pointSize * 2)));

    std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\r\n{\\fonttbl{\\f0\\fmodern\\fcharset0 ";
    appendText(out, font);
    out += ";}}\r\n{\\colortbl ;";
    for (ColourRef c : colours)
        out += "\\red" + std::to_string(colourRed(c)) + "\\green" + std::to_string(colourGreen(c)) +
               "\\blue" + std::to_string(colourBlue(c)) + ";";
    out += "}\r\n\\viewkind4\\uc1\\pard\\plain\\f0\\fs" + std::to_string(halfPoints) + "\r\n";

    int current = -1;
    for (const TextRun& run : runs) {
        if (run.text.empty()) continue;
        int index = 0;
        if (run.colour != kColourAutomatic)
            index =
                1 + int(std::find(colours.begin(), colours.end(), run.colour) - colours.begin());
        if (index != current) {
            out += "\\cf" + std::to_string(index) + " ";
            current = index;
        }
        appendText(out, run.text);
    }
    out += "}\r\n";
    return out;
}

}  // namespace serial
