#include "download/cli/download_command.h"

#include <chrono>
#include <filesystem>

#include "download/engine/download_thread.h"
#include "platform/deadline.h"

namespace kolvane::cli {

using namespace std::chrono_literals;

namespace {

using namespace serial::cli;

constexpr Named<ConfigChoice> kKinds[] = {{"bin8k-new", ConfigChoice::Bin8kNew},
                                          {"bin8k-old", ConfigChoice::Bin8kOld},
                                          {"mot-hex", ConfigChoice::MotHex},
                                          {"bootstrap", ConfigChoice::Bootstrap}};
constexpr Named<ConfigChoice> kDevices[] = {
    {"k41", ConfigChoice::K41}, {"z7b", ConfigChoice::Z7B}, {"z7d", ConfigChoice::Z7D}};
constexpr Named<ConfigChoice> kEndians[] = {{"big", ConfigChoice::BigEndian},
                                            {"little", ConfigChoice::LittleEndian}};
constexpr Named<ConfigChoice> kInterfaces[] = {{"rs232c", ConfigChoice::Rs232c},
                                               {"usb", ConfigChoice::UsbCom}};

int runDownloadCommand(const std::vector<std::string>& args, serial::cli::Console& console) {
    return runDownload(parseDownloadOptions(args), console);
}

}  // namespace

DownloadOptions parseDownloadOptions(const std::vector<std::string>& args) {
    DownloadOptions options;
    bool haveFile = false;
    for (serial::cli::Options o(args, "download"); !o.done();) {
        if (auto port = o.port()) {
            options.port = *port;
        } else if (auto seconds = o.number("--timeout")) {
            if (*seconds < 1)
                throw UsageError{"--timeout takes a number of seconds from 1 up, not " +
                                 std::to_string(*seconds)};
            options.timeoutSeconds = *seconds;
        } else if (o.flag("--del-xsw")) {
            options.choices.push_back(ConfigChoice::DelXsw);
        } else if (auto kind = o.choice("--kind", kKinds)) {
            options.choices.push_back(*kind);
        } else if (auto device = o.choice("--device", kDevices)) {
            options.choices.push_back(*device);
        } else if (auto endian = o.choice("--endian", kEndians)) {
            options.choices.push_back(*endian);
        } else if (auto line = o.choice("--interface", kInterfaces)) {
            options.choices.push_back(*line);
        } else if (!haveFile) {
            options.file = o.positional();
            haveFile = true;
        } else {
            throw UsageError{"only one image file can be downloaded: " + o.positional()};
        }
    }
    if (!haveFile) throw UsageError{"no image file given"};
    return options;
}

int runDownload(const DownloadOptions& options, serial::cli::Console& console) {
    CDownloadThread worker;
    if (!worker.Create()) {
        console.message("kolvane: " + cannotStartText(worker.CreateFailure()));
        return kExitFailed;
    }
    bool cancelled = false, timedOut = false;
    const platform::Deadline deadline(std::chrono::seconds(options.timeoutSeconds));
    auto print = [&](const std::string& line) { console.printLine(line); };
    // Posts one command and shows its reports until it completes; its result.
    auto run = [&](const std::string& logLine, auto post) -> int {
        if (!logLine.empty()) print(logLine);
        post();
        for (;;) {
            // Seen within a turn even while reports stream in.
            if (!cancelled && !timedOut && console.interrupted()) {
                cancelled = true;
                worker.RequestCancel();
            }
            if (!cancelled && !timedOut && deadline.expired()) {
                timedOut = true;
                print("Time limit of " + std::to_string(options.timeoutSeconds) +
                      " s reached: the job is cancelled.");
                worker.RequestCancel();
            }
            auto report = worker.Reports().waitPop(50ms);
            if (!report) continue;
            switch (report->kind) {
                case platform::Report::Kind::Log:
                    print(report->text);
                    break;
                case platform::Report::Kind::Progress:
                    console.progress(report->value);
                    break;
                case platform::Report::Kind::Message:
                    console.message("kolvane: " + report->text);
                    break;
                case platform::Report::Kind::Completed:
                    console.clearProgress();
                    if (report->value == 0) print("Command practice fails.");
                    return report->value;
            }
        }
    };
    auto runStep = [&](const ConfigStep& step) {
        return run(step.logLine, [&] { worker.PostThreadCommand(step.command, step.argument); });
    };

    if (options.port)
        runStep(portStep(*options.port));
    else
        run("", [&] { worker.PostThreadCommand(CDownloadThread::kOpenLine); });
    auto stopped = [&] { return cancelled || timedOut || console.interrupted(); };
    for (ConfigChoice choice : options.choices) {
        for (const ConfigStep& step : configSteps(choice)) {
            if (stopped()) break;
            runStep(step);
        }
    }
    int result = 0;
    if (!stopped()) {
        std::error_code ec;
        std::string path = std::filesystem::absolute(options.file, ec).string();
        if (ec) path = options.file;
        result = run(openFileLogLine(path),
                     [&] { worker.PostThreadCommand(CDownloadThread::kDownload, path); });
    }
    worker.Shutdown();
    if (timedOut) return kExitFailed;
    if (cancelled || console.interrupted()) return kExitCancelled;
    return result == 1 ? kExitOk : kExitFailed;
}

const serial::cli::Program& program() {
    static const serial::cli::Program program{
        "kolvane",
        {
            {"download",
             "FILE [--port N] [--kind bin8k-new|bin8k-old|mot-hex|bootstrap]\n"
             "[--device k41|z7b|z7d] [--endian big|little] [--interface rs232c|usb]\n"
             "[--del-xsw] [--timeout SECONDS]",
             "downloads a firmware image into a Z7 device and prints the tool's log.\n"
             "  --port N                           COM port, 1 to 255 (default COM1)\n"
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
             "  --timeout SECONDS                  cancel the job after this long (default 600)\n"
             "  The image's name sets where it goes: Boot.bin at the start of the flash, other\n"
             "  \".bin\" files at the save address, \".ttf\" decimal text images at 0x101C0000.\n"
             "  The image must be a regular file.\n"
             "  Exit status 0 when the download completed, 1 when it failed or ran out of time,\n"
             "  2 for bad arguments, 130 after Ctrl+C.\n",
             runDownloadCommand},
        },
        "Without a subcommand the window starts.\n"
        "Environment: VELTRIX_PORTS names a port map file; KOLVANE_DEBUG=1 prints debug\n"
        "output on standard error.\n",
        serial::cli::AfterUsageError::ShowHelp,
        // Ctrl+C and SIGTERM cancel whatever phase runs; the worker stops and the line is
        // closed before the program ends.
        platform::InterruptMode::Cancel,
    };
    return program;
}

}  // namespace kolvane::cli
