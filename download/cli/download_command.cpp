#include "download/cli/download_command.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "download/engine/download_thread.h"

namespace kolvane::cli {

using namespace std::chrono_literals;

namespace {

struct NamedChoice {
    const char* option;
    const char* value;
    ConfigChoice choice;
};
constexpr NamedChoice kChoices[] = {
    {"--kind", "bin8k-new", ConfigChoice::Bin8kNew}, {"--kind", "bin8k-old", ConfigChoice::Bin8kOld},
    {"--kind", "mot-hex", ConfigChoice::MotHex},     {"--kind", "bootstrap", ConfigChoice::Bootstrap},
    {"--device", "k41", ConfigChoice::K41},          {"--device", "z7b", ConfigChoice::Z7B},
    {"--device", "z7d", ConfigChoice::Z7D},          {"--endian", "big", ConfigChoice::BigEndian},
    {"--endian", "little", ConfigChoice::LittleEndian}, {"--interface", "rs232c", ConfigChoice::Rs232c},
    {"--interface", "usb", ConfigChoice::UsbCom},
};

class ProgressBar {
public:
    ProgressBar(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~ProgressBar() { clear(); }
    void show(int percent) {
        if (!enabled_) return;
        constexpr int width = 40;
        int filled = percent * width / 100;
        err_ << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << percent
             << "%" << std::flush;
        shown_ = true;
    }
    void clear() {
        if (!shown_) return;
        err_ << "\r" << std::string(48, ' ') << "\r" << std::flush;
        shown_ = false;
    }

private:
    std::ostream& err_;
    bool enabled_;
    bool shown_ = false;
};

}  // namespace

void printUsage(std::ostream& out) {
    out << "usage: kolvane download FILE [options]\n"
           "  Downloads a firmware image into a Z7 device and prints the tool's log.\n"
           "  --port N                           COM port (default COM1)\n"
           "  --kind bin8k-new|bin8k-old|mot-hex|bootstrap\n"
           "                                     image kind (default bin8k-new: 8192-byte\n"
           "                                     blocks after the mode-switch commands;\n"
           "                                     bin8k-old without them; mot-hex 16-byte\n"
           "                                     blocks; bootstrap writes the flash through\n"
           "                                     the device's monitor)\n"
           "  --device k41|z7b|z7d               device type (default k41)\n"
           "  --endian big|little                byte order of the device (default big)\n"
           "  --interface rs232c|usb             line to the device (default rs232c)\n"
           "  --del-xsw                          a \".bin\" image goes to offset 0x001FC000\n"
           "                                     instead of 0x00010000\n"
           "  The image's name sets where it goes: Boot.bin at the start of the flash, other\n"
           "  \".bin\" files at the save address, \".ttf\" decimal text images at 0x101C0000.\n"
           "  Exit status 0 when the download completed, 1 when it failed, 130 after Ctrl+C.\n"
           "Without a subcommand the window starts.\n"
           "Environment: VELTRIX_PORTS names a port map file; KOLVANE_DEBUG=1 prints debug\n"
           "output on standard error.\n";
}

std::optional<DownloadOptions> parseDownloadOptions(const std::vector<std::string>& args, std::string& error) {
    DownloadOptions options;
    bool haveFile = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (a == "--port") {
            auto v = value();
            if (!v) return std::nullopt;
            char* end = nullptr;
            long n = std::strtol(v->c_str(), &end, 10);
            if (v->empty() || *end != '\0' || n < 1 || n > 9999) {
                error = "--port needs a port number from 1 up: " + *v;
                return std::nullopt;
            }
            options.port = static_cast<int>(n);
        } else if (a == "--del-xsw") {
            options.choices.push_back(ConfigChoice::DelXsw);
        } else if (a == "--kind" || a == "--device" || a == "--endian" || a == "--interface") {
            auto v = value();
            if (!v) return std::nullopt;
            bool found = false;
            for (const auto& c : kChoices) {
                if (a == c.option && *v == c.value) {
                    options.choices.push_back(c.choice);
                    found = true;
                }
            }
            if (!found) {
                error = "unknown value for " + a + ": " + *v;
                return std::nullopt;
            }
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option: " + a;
            return std::nullopt;
        } else if (!haveFile) {
            options.file = a;
            haveFile = true;
        } else {
            error = "only one image file can be downloaded: " + a;
            return std::nullopt;
        }
    }
    if (!haveFile) {
        error = "no image file given";
        return std::nullopt;
    }
    return options;
}

int runDownload(const DownloadOptions& options, std::ostream& out, std::ostream& err,
                const std::atomic<bool>& interrupted, bool progressBar) {
    CDownloadThread worker;
    worker.Create();
    ProgressBar bar(err, progressBar);
    bool cancelled = false;
    auto print = [&](const std::string& line) {
        bar.clear();
        out << line << "\n" << std::flush;
    };
    // Posts one command and shows its reports until it completes; its result.
    auto run = [&](const std::string& logLine, auto post) -> int {
        if (!logLine.empty()) print(logLine);
        post();
        for (;;) {
            auto report = worker.Reports().waitPop(50ms);
            if (!report) {
                if (interrupted && !cancelled) {
                    cancelled = true;
                    worker.RequestCancel();
                }
                continue;
            }
            switch (report->kind) {
                case platform::Report::Kind::Log: print(report->text); break;
                case platform::Report::Kind::Progress: bar.show(report->value); break;
                case platform::Report::Kind::Message:
                    bar.clear();
                    err << "kolvane: " << report->text << "\n" << std::flush;
                    break;
                case platform::Report::Kind::Completed:
                    bar.clear();
                    if (report->value == 0) print("Command practice fails.");
                    return report->value;
            }
        }
    };
    auto runStep = [&](const ConfigStep& step) {
        return run(step.logLine, [&] { worker.PostThreadCommand(step.command, step.argument); });
    };

    if (options.port) runStep(portStep(*options.port));
    else run("", [&] { worker.PostThreadCommand(CDownloadThread::kOpenLine); });
    for (ConfigChoice choice : options.choices) {
        for (const ConfigStep& step : configSteps(choice)) {
            if (cancelled || interrupted) break;
            runStep(step);
        }
    }
    int result = 0;
    if (!cancelled && !interrupted) {
        std::error_code ec;
        std::string path = std::filesystem::absolute(options.file, ec).string();
        if (ec) path = options.file;
        result = run(openFileLogLine(path), [&] { worker.PostThreadCommand(CDownloadThread::kDownload, path); });
    }
    worker.Shutdown();
    if (cancelled || interrupted) return 130;
    return result == 1 ? 0 : 1;
}

}  // namespace kolvane::cli
