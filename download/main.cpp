// kolvane, the download tool. Without a subcommand it opens its window; with "download" it
// runs headless (see download/cli/download_command.h).
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "download/cli/download_command.h"
#ifdef KOLVANE_WINDOWS
#include "download/ui/kolvane_app.h"
#endif

namespace {

std::atomic<bool> interrupted{false};

void usage(std::ostream& out) {
    out << "usage: kolvane [download FILE [options] | --help]\n\n";
    kolvane::cli::printUsage(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
#ifdef KOLVANE_WINDOWS
        CKolvaneApp app(argc, argv);
        return app.Run();
#else
        std::cerr << "kolvane: built without its window; use a subcommand.\n";
        usage(std::cerr);
        return 2;
#endif
    }
    std::string sub = argv[1];
    if (sub == "--help" || sub == "-h" || sub == "help") {
        usage(std::cout);
        return 0;
    }
    if (sub != "download") {
        std::cerr << "kolvane: unknown subcommand: " << sub << "\n";
        usage(std::cerr);
        return 2;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& a : args) {
        if (a == "--help" || a == "-h") {
            kolvane::cli::printUsage(std::cout);
            return 0;
        }
    }
    std::string error;
    auto options = kolvane::cli::parseDownloadOptions(args, error);
    if (!options) {
        std::cerr << "kolvane: " << error << "\n";
        kolvane::cli::printUsage(std::cerr);
        return 2;
    }
    struct sigaction sa {};
    sa.sa_handler = [](int) { interrupted = true; };
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    return kolvane::cli::runDownload(*options, std::cout, std::cerr, interrupted, ::isatty(STDERR_FILENO) == 1);
}
