// fenwald, the firmware installer. With a subcommand it runs headless (installer/cli); the
// window is still to come.
#include <cstdio>

#include "installer/cli/fenwald_cli.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(
            "fenwald: the window is not built yet; fenwald --help lists what the command "
            "line does.\n",
            stderr);
        return serial::cli::kExitUsage;
    }
    return serial::cli::runMain(fenwald::cli::program(), argc, argv);
}
