// kolvane download: the headless download. It posts the same worker commands the window's
// menus would (open the line or choose the port, each setting given, File Open) one after
// the other, each after the previous one completed, and prints every line the log view would
// show, in order, on standard output. Notices go to standard error, and so does a progress
// bar when standard error is a terminal.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "download/engine/config_commands.h"
#include "serial/cli/program.h"

namespace kolvane::cli {

struct DownloadOptions {
    static constexpr int kDefaultTimeoutSeconds = 600;
    std::string file;
    std::optional<int> port;
    std::vector<ConfigChoice> choices;            // in the order they are made
    int timeoutSeconds = kDefaultTimeoutSeconds;  // the whole job; then it is cancelled
};

// The arguments after "download"; wrong ones throw serial::cli::UsageError.
DownloadOptions parseDownloadOptions(const std::vector<std::string>& args);

// Runs the download and returns the exit code: 0 when the download completed with 1,
// 130 when interrupted (polled; it sets the worker's cancel flag), else 1 (the time limit
// cancels as an interrupt does, and fails).
int runDownload(const DownloadOptions& options, serial::cli::Console& console);

// The subcommands, for serial::cli::run / runMain.
const serial::cli::Program& program();

}  // namespace kolvane::cli
