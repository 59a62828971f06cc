// fenwald, the firmware installer. For now only its version (fenwald --version) and help; the
// window is still to come.
#include <cstdio>

#include "serial/cli/program.h"

int main(int argc, char** argv) {
    const serial::cli::Program program{.name = "fenwald", .subcommands = {}, .notes = {}};
    if (argc < 2) {
        std::fputs("fenwald: the window is not built yet; fenwald --version shows the version.\n",
                   stderr);
        return serial::cli::kExitUsage;
    }
    return serial::cli::runMain(program, argc, argv);
}
