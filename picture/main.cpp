// pictavo, the picture tool. With a subcommand it runs headless (picture/cli); without one it
// opens its window.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "picture/cli/pictavo_cli.h"
#ifdef PICTAVO_WINDOWS
#include "picture/ui/pictavo_app.h"
#endif

namespace {
std::atomic<bool> interrupted{false};
}

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
#ifdef PICTAVO_WINDOWS
        CPictavoApp app(argc, argv);
        return app.Run();
#else
        std::cerr << picture::cli::HelpText();
        return 2;
#endif
    }
    // The first Ctrl+C cancels a capture as the window's Cancel button does; the second ends
    // the program.
    std::signal(SIGINT, [](int) {
        interrupted = true;
        std::signal(SIGINT, SIG_DFL);
    });
    picture::cli::Console console{std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1, &interrupted};
    return picture::cli::Run(args, console);
}
