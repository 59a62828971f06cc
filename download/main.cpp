// kolvane, the download tool. Without a subcommand it opens its window; with "download" it
// runs headless (see download/cli/download_command.h).
#include "download/cli/download_command.h"
#ifdef KOLVANE_WINDOWS
#include "download/ui/kolvane_app.h"
#endif

int main(int argc, char** argv) {
#ifdef KOLVANE_WINDOWS
    if (argc < 2) {
        if (!serial::cli::windowCanStart()) return serial::cli::kExitUsage;
        CKolvaneApp app(argc, argv);
        return app.Run();
    }
#endif
    return serial::cli::runMain(kolvane::cli::program(), argc, argv);
}
