// fenwald monitor [--port N] [--baud B] [--format normal|ascii|hex] [--send-file FILE]: the
// RS232 monitor on a terminal, on the window's engine (installer/engine/monitor_engine.h).
//
// The line is applied as the window applies it, with the same corrections and messages (on
// standard error). Received bytes go to standard output in the display format, as the
// window's terminal renders them (its line break, CR, printed as a newline); standard input
// goes to the line as it comes. The end of input or Ctrl+C ends it once what was read has gone
// out, and what the line brings until it has been quiet for a moment is still printed.
// --send-file sends a text file as the window does (standard input is not read) and ends when
// the file has gone out. Exit 0 when it ended by itself, 1 when the line or the file failed,
// 2 for a usage error, 130 after Ctrl+C.
#pragma once

#include "serial/cli/program.h"

namespace fenwald::cli {

serial::cli::Subcommand monitorSubcommand();

}  // namespace fenwald::cli
