// fenwald, the firmware installer. With a subcommand it runs headless (installer/cli); without
// one it opens its window, with the first argument, if any, as the start file.
#include <algorithm>
#include <string_view>

#include "installer/cli/fenwald_cli.h"
#ifdef FENWALD_WINDOWS
#include "installer/ui/fenwald_app.h"
#endif

namespace {

// A subcommand, help, or an option: the command line's; anything else is a start file.
bool forCommandLine(std::string_view first) {
    if (first.starts_with('-') || first == "help") return true;
    const auto& commands = fenwald::cli::program().subcommands;
    return std::any_of(commands.begin(), commands.end(),
                       [&](const serial::cli::Subcommand& c) { return c.name == first; });
}

}  // namespace

int main(int argc, char** argv) {
#ifdef FENWALD_WINDOWS
    if (argc < 2 || !forCommandLine(argv[1])) {
        if (!serial::cli::windowCanStart()) return serial::cli::kExitUsage;
        CfenwaldApp app(argc, argv);
        return app.Run();
    }
#else
    (void)forCommandLine;
#endif
    return serial::cli::runMain(fenwald::cli::program(), argc, argv);
}
