// A small RTF reader for the tests: reads back the font, size, colour table and coloured text
// of a document, strictly enough that a malformed file does not pass (unbalanced groups, a
// colour index outside the table, text before the header).
#pragma once

#include <cctype>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/rtf_writer.h"

namespace rtftest {

struct Document {
    bool ok = false;
    std::string error;
    std::string font;
    int halfPoints = 0;
    std::vector<serial::ColourRef>
        colours;                        // the table; serial::kColourAutomatic for an empty entry
    std::vector<serial::TextRun> runs;  // '\n' for \par

    std::u32string text() const {
        std::u32string all;
        for (const serial::TextRun& r : runs) all += r.text;
        return all;
    }
};

inline Document read(const std::string& rtf) {
    Document doc;
    enum Dest { kBody, kFontTable, kColourTable };
    struct State {
        Dest dest;
    };
    std::vector<State> stack;
    int red = -1, green = -1, blue = -1;
    serial::ColourRef current = serial::kColourAutomatic;
    int skipFallback = 0;
    std::size_t i = 0;

    auto fail = [&doc](std::string why) {
        doc.ok = false;
        doc.error = std::move(why);
        return doc;
    };
    auto text = [&](char32_t ch) {
        if (stack.empty()) return;
        if (skipFallback > 0) {
            --skipFallback;
            return;
        }
        switch (stack.back().dest) {
            case kFontTable:
                if (ch != U';') doc.font += static_cast<char>(ch);
                break;
            case kColourTable:
                if (ch == U';') {
                    doc.colours.push_back(red < 0 ? serial::kColourAutomatic
                                                  : serial::makeColourRef(std::uint8_t(red),
                                                                          std::uint8_t(green),
                                                                          std::uint8_t(blue)));
                    red = green = blue = -1;
                }
                break;
            case kBody:
                if (doc.runs.empty() || doc.runs.back().colour != current)
                    doc.runs.push_back(serial::TextRun{current, {}});
                doc.runs.back().text += ch;
                break;
        }
    };

    if (rtf.rfind("{\\rtf1", 0) != 0) return fail("no {\\rtf1 header");
    char32_t highSurrogate = 0;
    while (i < rtf.size()) {
        char c = rtf[i++];
        if (c == '{') {
            stack.push_back(stack.empty() ? State{kBody} : stack.back());
        } else if (c == '}') {
            if (stack.empty()) return fail("unbalanced }");
            stack.pop_back();
            if (stack.empty() && rtf.find_first_not_of("\r\n", i) != std::string::npos)
                return fail("text after the document");
        } else if (c == '\r' || c == '\n') {
        } else if (c == '\\') {
            if (i >= rtf.size()) return fail("lone backslash");
            char n = rtf[i];
            if (std::isalpha(static_cast<unsigned char>(n))) {
                std::string word;
                while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i])))
                    word += rtf[i++];
                bool hasParam = false;
                long param = 0;
                std::size_t start = i;
                if (i < rtf.size() &&
                    (rtf[i] == '-' || std::isdigit(static_cast<unsigned char>(rtf[i])))) {
                    ++i;
                    while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i]))) ++i;
                    param = std::strtol(rtf.substr(start, i - start).c_str(), nullptr, 10);
                    hasParam = true;
                }
                if (i < rtf.size() && rtf[i] == ' ') ++i;
                if (stack.empty()) return fail("control word outside the document");
                Dest& dest = stack.back().dest;
                if (word == "fonttbl")
                    dest = kFontTable;
                else if (word == "colortbl")
                    dest = kColourTable;
                else if (word == "red")
                    red = int(param);
                else if (word == "green")
                    green = int(param);
                else if (word == "blue")
                    blue = int(param);
                else if (word == "fs")
                    doc.halfPoints = int(param);
                else if (word == "par")
                    text(U'\n');
                else if (word == "tab")
                    text(U'\t');
                else if (word == "cf") {
                    if (!hasParam || param < 0 || std::size_t(param) >= doc.colours.size())
                        return fail("colour index outside the table: " + std::to_string(param));
                    current = doc.colours[std::size_t(param)];
                } else if (word == "u") {
                    unsigned unit = static_cast<std::uint16_t>(param);
                    if (unit >= 0xD800 && unit < 0xDC00) {
                        highSurrogate = unit;
                    } else if (unit >= 0xDC00 && unit < 0xE000) {
                        text(0x10000 + ((highSurrogate - 0xD800) << 10) + (unit - 0xDC00));
                    } else {
                        text(unit);
                    }
                    skipFallback = 1;
                }
            } else if (n == '\'') {
                if (i + 3 > rtf.size()) return fail("short \\'");
                int byte = std::stoi(rtf.substr(i + 1, 2), nullptr, 16);
                i += 3;
                text(serial::ansiToUnicode(static_cast<std::uint8_t>(byte)));
            } else {
                ++i;
                if (n == '\\' || n == '{' || n == '}') text(static_cast<unsigned char>(n));
            }
        } else {
            if (static_cast<unsigned char>(c) >= 0x80) return fail("8-bit byte in the file");
            text(static_cast<unsigned char>(c));
        }
    }
    if (!stack.empty()) return fail("unclosed group");
    doc.ok = true;
    return doc;
}

}  // namespace rtftest
