// fenwald configure FILE [--port N] [--temporary] [--hid]: the configuration dialog's job
// without the window, through the same checks, detection and sending.
//
// The file is checked; over the line the scanner is found on the port (the settings file's
// unless --port), "COM n" and its rate ("N/A" when two rates answered) are printed, the
// configuration is sent and the scanner's answer awaited; accepted, the scanner is found again
// (its rate may have changed) and printed once more before the dialog's confirmation. --hid
// sends through the keyboard's lock indicators instead, with a progress bar on a terminal;
// Ctrl+C ends it with the indicators restored. --temporary leaves out "make permanent".
// Exit 0 only when the scanner acknowledged (or the HID send completed), 1 otherwise.
#pragma once

#include "serial/cli/program.h"

namespace fenwald::cli {

serial::cli::Subcommand configureSubcommand();

}  // namespace fenwald::cli
