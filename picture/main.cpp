// pictavo, the picture tool. With a subcommand it runs headless (picture/cli); without one it
// opens its window.
#include "picture/cli/pictavo_cli.h"
#ifdef PICTAVO_WINDOWS
#include "picture/ui/pictavo_app.h"
#endif

int main(int argc, char** argv) {
#ifdef PICTAVO_WINDOWS
    if (argc < 2) {
        if (!serial::cli::windowCanStart()) return serial::cli::kExitUsage;
        CPictavoApp app(argc, argv);
        return app.Run();
    }
#endif
    return serial::cli::runMain(pictavo::cli::program(), argc, argv);
}
