// The picture tool's command line: the window's jobs without the window, on the same engine
// and the same settings file (read, never written).
//
//   pictavo capture [--port N] [--output FILE] [--bmp] [--quality Q]
//                   [--window X0,Y0,X1,Y1] [--snapshot | --no-snapshot] [--check-port-name]
//   pictavo send "COMMAND NAME" [--port N]
//   pictavo ports
//
// Messages the window would show in a box go to standard error (through the message seam),
// followed by "Initialization Failed." where the window shows it; results go to standard
// output. The exit status is 0 only when the job was done (the picture received and written,
// the command sent), 1 when it failed, 2 for a usage error, 130 when cancelled.
#pragma once

#include "serial/cli/program.h"

namespace pictavo::cli {

// The subcommands, for serial::cli::run / runMain.
const serial::cli::Program& program();

}  // namespace pictavo::cli
