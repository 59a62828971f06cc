#include "installer/cli/fenwald_cli.h"

#include <chrono>
#include <filesystem>
#include <optional>

#include "installer/cli/configure_command.h"
#include "installer/cli/monitor_command.h"
#include "installer/cli/settings_reading.h"
#include "installer/engine/fenwald_settings.h"
#include "installer/engine/gantry1.h"
#include "installer/engine/loader_interface.h"
#include "installer/engine/transfer_interface.h"
#include "installer/engine/veskctl1.h"
#include "platform/deadline.h"
#include "serial/display_text.h"

namespace fenwald::cli {

namespace {

using namespace serial::cli;
using std::chrono::milliseconds;

constexpr milliseconds kPollWait{50};
// A component's message carries a file name, a path or a scanner's answer: escaped on the
// terminal, and long enough for a whole path.
constexpr std::size_t kMessageLimit = 4200;

std::string shown(const std::string& message) {
    return serial::displayText(message, kMessageLimit);
}

// The port and a positional argument; what else a subcommand takes, its own code reads.
struct Arguments {
    std::string positional;
    bool port = false;  // given
    std::optional<int> irda;
};

Arguments readArguments(const std::vector<std::string>& args, const std::string& subcommand,
                        FenwaldSettings& s, bool positional, bool irda) {
    Arguments a;
    for (Options o(args, subcommand); !o.done();) {
        if (auto p = o.port()) {
            s.port = *p;
            a.port = true;
        } else if (auto t = irda ? o.number("--irda") : std::nullopt) {
            if (*t < 0 || *t > kFixedBaudRateCradle)
                throw UsageError{"--irda takes a type from 0 to 5, not " + std::to_string(*t)};
            a.irda = *t;
        } else if (positional && a.positional.empty()) {
            a.positional = o.positional();
            if (a.positional.empty()) throw UsageError{subcommand + " needs a non-empty name"};
        } else {
            o.unknownOption();
        }
    }
    if (positional && a.positional.empty())
        throw UsageError{
            subcommand + " needs " +
            (subcommand == "receive" ? "the folder to receive into" : "the file to send")};
    return a;
}

// A component that stops reporting is not working: each step of its protocol reports or ends
// within its own time-outs, so a silence longer than those and a margin ends the wait (an
// operation that never ran, as once at -O3, would otherwise leave the command waiting for
// ever). Without a later limit, only the first report is awaited so.
class ReportWatch {
public:
    static constexpr milliseconds kMargin{10000};

    ReportWatch(std::string who, milliseconds first, std::optional<milliseconds> later)
        : who_(std::move(who)), limit_(first), later_(later), due_(first + kMargin) {}

    void heard() {
        if (later_) {
            limit_ = *later_;
            due_ = platform::Deadline(limit_ + kMargin);
        } else {
            due_ = platform::Deadline::never();
        }
    }
    bool overdue() const { return due_.expired(); }
    std::string message() const {
        const auto s = std::chrono::ceil<std::chrono::seconds>(limit_ + kMargin).count();
        return who_ + " did not answer within " + std::to_string(s) + " s";
    }

private:
    std::string who_;
    milliseconds limit_;
    std::optional<milliseconds> later_;
    platform::Deadline due_;
};

std::uint64_t sizeOf(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// Waits for a component's operation to end: Ctrl+C cancels it, a silence longer than the
// watch allows ends the wait, and each event goes to take, which gives the exit status once
// the operation is over.
template <class Component, class Take>
int waitForComponent(Component& component, Console& console, ReportWatch watch, Take take) {
    bool cancelled = false;
    for (;;) {
        if (!cancelled && console.interrupted()) {
            cancelled = true;
            component.cancel();
        }
        auto e = component.events().waitPop(kPollWait);
        if (!e) {
            if (!watch.overdue()) continue;
            console.clearProgress();
            console.message(watch.message());
            return kExitFailed;
        }
        watch.heard();
        if (std::optional<int> status = take(*e, cancelled)) return *status;
    }
}

// Shows what the loader reports until its operation ends.
int waitForLoader(CGantry1& loader, Console& console, std::uint64_t firmwareBytes) {
    // The loader reports as soon as an operation begins.
    ReportWatch watch("The loader", milliseconds(0), gantry::longestSilence(firmwareBytes));
    return waitForComponent(loader, console, watch,
                            [&](const auto& e, bool cancelled) -> std::optional<int> {
                                auto st = decodeGantryStatus(e);
                                if (!st) return std::nullopt;
                                console.progress(st->percent);
                                if (st->code <= gantry::kProgressOnlyLast ||
                                    st->code == gantry::kProgress || st->code == 2020)
                                    return std::nullopt;
                                if (gantry::isError(st->code)) {
                                    console.message(shown(st->message));
                                } else {
                                    console.clearProgress();
                                    console.printLine(shown(st->message));
                                }
                                if (!gantry::endsOperation(st->code)) return std::nullopt;
                                if (cancelled) return kExitCancelled;
                                return gantry::isError(st->code) ? kExitFailed : kExitOk;
                            });
}

int runLoader(const std::vector<std::string>& args, Console& console, const char* name) {
    CommandLineSettings settings(console);
    FenwaldSettings& s = settings.values();
    const std::string subcommand = name;
    const bool download = subcommand == "download";
    Arguments a = readArguments(args, subcommand, s, download, download);
    if (!a.port) settings.refuseBadValues({"port"});
    if (a.irda)
        s.irda = *a.irda;
    else
        settings.refuseBadValues({"irda"});
    CGantry1 loader;
    if (!loader.created()) {
        console.message(shown(loader.creationError()));
        return kExitFailed;
    }
    // Port, then IrdaType, then what the operation needs, as the window writes them.
    loader.SetPort(static_cast<std::int16_t>(s.port));
    loader.SetIrdaType(s.irda);
    if (download) {
        loader.SetFileName(a.positional);
        loader.Download();
    } else if (subcommand == "versions") {
        loader.ShowVersions();
    } else {
        loader.SendTime();
    }
    return waitForLoader(loader, console, download ? sizeOf(a.positional) : 0);
}

int runDownload(const std::vector<std::string>& args, Console& console) {
    return runLoader(args, console, "download");
}
int runVersions(const std::vector<std::string>& args, Console& console) {
    return runLoader(args, console, "versions");
}
int runSendTime(const std::vector<std::string>& args, Console& console) {
    return runLoader(args, console, "send-time");
}

int runTransfer(const std::vector<std::string>& args, Console& console, bool transmit) {
    CommandLineSettings settings(console);
    FenwaldSettings& s = settings.values();
    Arguments a = readArguments(args, transmit ? "transmit" : "receive", s, true, false);
    if (!a.port) settings.refuseBadValues({"port"});
    settings.refuseBadValues({"baudrate", "databits", "stopbits", "parity", "irda"});
    // The monitor's corrections as it applies its settings, with its messages.
    if (auto c = correctMonitorIrda(s.irda); c.message) {
        console.message(kInvalidIrdaDeviceText);
        s.irda = c.value;
    }
    if (auto c = correctMonitorBaudRate(s.irda, s.baudrate); c.message) {
        console.message(kInvalidBaudRateText);
        s.baudrate = c.value;
    }
    CVeskctl1 transfer;
    if (!transfer.created()) {
        console.message(shown(transfer.creationError()));
        return kExitFailed;
    }
    transfer.SetPort(static_cast<std::int16_t>(s.port));
    transfer.SetBaudRate(s.baudrate);
    transfer.SetParity(static_cast<std::int16_t>(s.parity));
    transfer.SetDataBits(static_cast<std::int16_t>(s.databits));
    transfer.SetStopBits(static_cast<std::int16_t>(s.stopbits));
    transfer.setCharTimeout(vesk::kDefaultCharTimeoutMs);
    transfer.setAnswerTimeout(vesk::kDefaultAnswerTimeoutMs);
    transfer.setRetries(vesk::kDefaultRetries);
    transfer.SetIrdaType(irdaForTransfer(s.irda));
    if (transmit)
        transfer.TransmitFile(vesk::kProtocol, a.positional);
    else
        transfer.ReceiveFile(vesk::kProtocol, a.positional, 1);

    const auto silence = [&](std::uint64_t bytes) {
        return vesk::longestSilence(vesk::kDefaultAnswerTimeoutMs, vesk::kDefaultRetries,
                                    s.baudrate, bytes);
    };
    ReportWatch watch("The transfer component", silence(transmit ? sizeOf(a.positional) : 0),
                      transmit ? std::optional(silence(sizeOf(a.positional))) : std::nullopt);
    return waitForComponent(transfer, console, watch,
                            [&](const auto& e, bool cancelled) -> std::optional<int> {
                                if (auto p = decodeVeskProgress(e)) {
                                    console.progress(p->percent);
                                    return std::nullopt;
                                }
                                auto st = decodeVeskStatus(e);
                                if (!st) return std::nullopt;
                                console.clearProgress();
                                if (st->code < vesk::kInformationFirst) {
                                    console.message(shown(st->message));
                                    return cancelled ? kExitCancelled : kExitFailed;
                                }
                                if (st->code < vesk::kNothingToShowFirst) {
                                    console.printLine(shown(st->message));
                                    return cancelled ? kExitCancelled : kExitOk;
                                }
                                // The window shows nothing for a cancel; a terminal is told why the
                                // transfer ended.
                                console.message(shown(st->message));
                                return cancelled ? kExitCancelled : kExitFailed;
                            });
}

int runTransmit(const std::vector<std::string>& args, Console& console) {
    return runTransfer(args, console, true);
}
int runReceive(const std::vector<std::string>& args, Console& console) {
    return runTransfer(args, console, false);
}

}  // namespace

const serial::cli::Program& program() {
    static const serial::cli::Program program{
        "fenwald",
        {
            {"download", "FILE [--port N] [--irda T]",
             "installs the firmware file FILE (Intel HEX, S-records or binary) into the\n"
             "          scanner through the loader component. The file is checked first; a\n"
             "          corrupt one is refused with its line and fault, and nothing is sent.\n"
             "  --port N             COM port number (setting \"port\")\n"
             "  --irda T             IrDA adapter or cradle (setting \"irda\"): 0 none,\n"
             "                       1 LiteLink, 2 Tekram, 3 Actisys, 4 KWD4400 cradle,\n"
             "                       5 fixed baudrate cradle (9600 only)\n",
             runDownload},
            {"versions", "[--port N]", "prints the scanner's software versions.\n", runVersions},
            {"send-time", "[--port N]", "sets the scanner's clock to the computer's local time.\n",
             runSendTime},
            {"transmit", "FILE [--port N]",
             "sends FILE as a YMODEM batch through the transfer component, with the RS232\n"
             "          monitor's line settings (\"baudrate\", \"databits\", \"parity\",\n"
             "          \"stopbits\", \"irda\"); the other side receives, as `rz --ymodem` does.\n",
             runTransmit},
            {"receive", "FOLDER [--port N]",
             "receives a YMODEM batch into FOLDER, each file under the name it came with\n"
             "          (numbered when that name is taken), with the monitor's line settings.\n",
             runReceive},
            // The configuration dialog's job (installer/cli/configure_command.h).
            configureSubcommand(),
            // The RS232 monitor's (installer/cli/monitor_command.h).
            monitorSubcommand(),
        },
        "Settings not given come from \"fenwald.ini\" in the working folder; the command line "
        "never\nwrites it. Ports come from the port map ($VELTRIX_PORTS, else "
        "$XDG_CONFIG_HOME/veltrix/ports).\nStatus lines go to standard output, errors to "
        "standard error. Exit status: 0 done,\n1 failed, 2 usage error, 130 cancelled (Ctrl+C "
        "cancels the running operation; SIGTERM\nand SIGHUP cancel it as well, exit 143 and "
        "129; a second signal ends fenwald at once).\n",
        serial::cli::AfterUsageError::TryHelp,
        platform::InterruptMode::CancelAnyThenEnd,
    };
    return program;
}

}  // namespace fenwald::cli
