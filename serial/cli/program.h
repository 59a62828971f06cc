// The command-line kit of every program: a table of subcommands, and the help, version,
// usage errors, Ctrl+C and console handling around them.
//
//   pictavo capture [--port N] ...      runs capture's function with ["--port", "N", ...]
//   pictavo --help | -h | help          the help: the synopses, each subcommand's text, notes
//   pictavo SUBCOMMAND ... --help       the same help
//   pictavo --version                   "pictavo 1.0.0"
//
// A subcommand is one table entry: its name, its synopsis, its help text and the function
// that runs it. The function reads its arguments with Options, writes through the Console,
// throws UsageError for bad arguments and returns one of the exit statuses below.
#pragma once

#include <string>
#include <vector>

#include "platform/console.h"
#include "serial/cli/console.h"
#include "serial/cli/options.h"

namespace serial::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;

using RunFunction = int (*)(const std::vector<std::string>& args, Console& console);

struct Subcommand {
    std::string name;
    // The arguments after the name as the help's usage lines show them; a line break
    // continues them on a line aligned under the first argument.
    std::string synopsis;
    // What it does and its options, shown after the name in a column of 10; lines after
    // the first carry their own indentation. Ends with '\n'.
    std::string help;
    RunFunction run;
};

enum class AfterUsageError {
    TryHelp,   // "Try '<program> --help'."
    ShowHelp,  // the whole help, on standard error
};

struct Program {
    std::string name;
    std::vector<Subcommand> subcommands;
    std::string notes;  // the help's last paragraph: settings, environment, exit statuses
    AfterUsageError afterUsageError = AfterUsageError::TryHelp;
    platform::InterruptMode interrupts = platform::InterruptMode::CancelThenEnd;
};

std::string helpText(const Program& program);

// args: without the program's name, the subcommand first. The run function's exit status,
// or kExitOk for help and version, kExitUsage for a usage error.
int run(const Program& program, const std::vector<std::string>& args, Console& console);

// Run on standard output and standard error, with the program's interrupt handling. A failed
// write to standard output turns success into kExitFailed, with a message.
int runMain(const Program& program, int argc, char** argv);

// Whether the program's window can open; when not, says so on standard error ("No display
// found: ...") and main returns kExitUsage.
bool windowCanStart();

}  // namespace serial::cli
