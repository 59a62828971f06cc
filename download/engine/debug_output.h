// Developer trace output. It goes to standard error only when the environment variable
// KOLVANE_DEBUG is set to something other than "" or "0"; otherwise it is dropped, so a user
// never sees it and a script's output stays clean. The engine does not write it itself: the
// line goes out through platform::trace::errorLine, whole, beside the trace lines.
#pragma once

#include <string>

namespace kolvane {

bool debugOutputEnabled();
// At most 255 characters of text, then a line end; thread-safe.
void debugOutput(const std::string& text);

}  // namespace kolvane
