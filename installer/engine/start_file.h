// The installer's start file and dropped files: the name as the window takes it, and whether
// it is a scanner configuration (which opens the configuration dialog) or firmware (which is
// downloaded).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fenwald {

// Leading blanks, then leading double quotes, then trailing blanks, then trailing double
// quotes removed, in this order: `  "a.hex"  ` gives a.hex.
std::string startFileOf(std::string_view argument);

// The text from the first ".vsc" to the end is exactly ".vsc" (letter case matters), so a.vsc
// is a configuration and a.VSC, a.vsc.bak and a.vsc.vsc are firmware.
bool isConfigurationFile(std::string_view name);

// A command line split into arguments: blanks between them skipped; one that begins with a
// double quote runs to the next double quote followed by a blank or the end (both quotes
// dropped); any other to the next blank. The first is the program.
std::vector<std::string> splitCommandLine(std::string_view line);

}  // namespace fenwald
