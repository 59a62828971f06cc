// Text from outside (a path, a file name, a device's answer) as it may be shown in a message
// or a log line: control characters escaped so a name cannot break a line or move the cursor,
// and cut in the middle to a length a message box or a terminal line can hold.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace serial {

constexpr std::size_t kDisplayTextLimit = 240;

// Bytes below 0x20 and 0x7F become "\n", "\r", "\t" or "\xNN", a backslash stays one; a text
// longer than limit keeps its start and its end (where a path says most) around "...".
std::string displayText(std::string_view text, std::size_t limit = kDisplayTextLimit);

// For a window: control bytes named as the terminal's ASCII format names them ("<ESC>",
// "<LF>", "<DEL>"), so a device's answer cannot break a status line; nothing is cut.
std::string namedControlBytes(std::string_view text);

}  // namespace serial
