// The firmware installer's command line: the loader's and the transfer component's jobs
// without the window, through the same components and the same settings file (read, never
// written).
//
//   fenwald download FILE [--port N] [--irda T]
//   fenwald versions [--port N]
//   fenwald send-time [--port N]
//   fenwald transmit FILE [--port N]
//   fenwald receive FOLDER [--port N]
//   fenwald monitor [--port N] [--baud B] [--format normal|ascii|hex] [--send-file FILE]
//
// The components' status texts go to standard output, their error texts to standard error,
// and their progress to a bar on standard error when it is a terminal. The exit status is 0
// when the operation ended with information, 1 with an error (or when a component cannot be
// created), 2 for a usage error, 130 when Ctrl+C cancelled it.
#pragma once

#include "serial/cli/program.h"

namespace fenwald::cli {

// The subcommands, for serial::cli::run / runMain.
const serial::cli::Program& program();

}  // namespace fenwald::cli
