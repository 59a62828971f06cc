// Rich text (RTF 1.x) out of coloured runs of text, as the terminal saves its contents: a font
// table with the terminal's font, a colour table with every colour used, \cfN before each
// run, '\', '{' and '}' escaped, characters above ASCII as \'hh in code page 1252 (or \uN
// when that code page has none), '\n' as \par. Word processors open the result.
#pragma once

#include <string>
#include <vector>

#include "serial/terminal_text.h"

namespace serial {

struct TextRun {
    ColourRef colour = kColourAutomatic;
    std::u32string text;  // '\n' ends a paragraph
};

std::string writeRtf(const std::vector<TextRun>& runs, const std::string& fontName,
                     double pointSize);

}  // namespace serial
