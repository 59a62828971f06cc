#include "installer/cli/monitor_command.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "installer/cli/settings_reading.h"
#include "installer/engine/fenwald_settings.h"
#include "installer/engine/monitor_engine.h"
#include "platform/console.h"
#include "platform/deadline.h"
#include "serial/display_text.h"
#include "serial/port_open.h"
#include "serial/terminal_format.h"

namespace fenwald::cli {

namespace {

using namespace serial::cli;
using std::chrono::milliseconds;

constexpr unsigned kBaudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr Named<int> kFormats[] = {{"normal", serial::kFormatNormal},
                                   {"ascii", serial::kFormatAscii},
                                   {"hex", serial::kFormatHex}};
// How long standard input is waited for before the line's events are looked at again.
constexpr int kInputWaitMs = 10;
constexpr milliseconds kEventWait{50};
// After the end: what the line still brings (a device's answer to the last bytes) is printed
// until it has been quiet this long.
constexpr milliseconds kQuietEnd{300};
constexpr milliseconds kLingerMax{2000};  // a device that never stops
constexpr std::size_t kInputChunk = 4096;
constexpr std::uint8_t kEndOfTyping = 0x04;  // Ctrl+D

struct MonitorArguments {
    std::optional<int> port;
    std::optional<unsigned> baud;
    std::optional<int> format;
    std::string sendFile;
};

MonitorArguments readArguments(const std::vector<std::string>& args) {
    MonitorArguments a;
    for (Options o(args, "monitor"); !o.done();) {
        if (auto p = o.port()) {
            a.port = *p;
        } else if (auto b = o.number("--baud")) {
            if (*b <= 0 || std::find(std::begin(kBaudRates), std::end(kBaudRates), unsigned(*b)) ==
                               std::end(kBaudRates))
                throw UsageError{
                    "--baud takes 1200, 2400, 4800, 9600, 19200, 38400, 57600 or "
                    "115200, not " +
                    std::to_string(*b)};
            a.baud = static_cast<unsigned>(*b);
        } else if (auto f = o.choice("--format", kFormats)) {
            a.format = *f;
        } else if (auto file = o.value("--send-file")) {
            if (file->empty()) throw UsageError{"--send-file needs a file name"};
            a.sendFile = *file;
        } else {
            o.unknownOption();
        }
    }
    return a;
}

// Prints received bytes as the terminal shows them, the terminal's line break as a newline.
void printReceived(Console& console, const std::vector<std::uint8_t>& bytes, int format) {
    std::string text = serial::renderBytes(bytes.data(), bytes.size(), format);
    std::replace(text.begin(), text.end(), '\r', '\n');
    console.print(text);
}

struct Progress {
    bool ended = false;
    TextEnd how = TextEnd::Stopped;
    std::string reason;
    platform::Deadline quietUntil{kQuietEnd};  // pushed back by every piece received
};

void handle(const MonitorEvent& e, Console& console, int format, Progress& p) {
    switch (e.kind) {
        case MonitorEvent::Kind::Received:
            printReceived(console, e.bytes, format);
            p.quietUntil = platform::Deadline(kQuietEnd);
            break;
        case MonitorEvent::Kind::Progress:
            console.progress(e.value);
            break;
        case MonitorEvent::Kind::TextEnded:
            p.ended = true;
            p.how = static_cast<TextEnd>(e.value);
            p.reason = e.text;
            console.clearProgress();
            break;
        case MonitorEvent::Kind::LineLost:
            p.ended = true;
            p.how = TextEnd::Failed;
            p.reason = "The line went away";
            break;
        default:
            break;  // sent pieces, lamps: the window's
    }
}

int runMonitor(const std::vector<std::string>& args, Console& console) {
    MonitorArguments a = readArguments(args);
    CommandLineSettings settings(console);
    const FenwaldSettings& s = settings.values();
    if (!a.port) settings.refuseBadValues({"port"});
    if (!a.baud) settings.refuseBadValues({"baudrate"});
    if (!a.format) settings.refuseBadValues({"format"});
    settings.refuseBadValues({"databits", "stopbits", "parity", "irda"});
    MonitorLineSettings line;
    line.port = a.port.value_or(s.port);
    line.baudRate = a.baud.value_or(static_cast<unsigned>(s.baudrate));
    line.dataBits = static_cast<std::uint8_t>(s.databits);
    line.parity = static_cast<std::uint8_t>(s.parity);
    line.stopBits = static_cast<std::uint8_t>(s.stopbits);
    line.irda = s.irda;
    const int format = a.format.value_or(s.format);

    MonitorEngine engine;
    ApplyOutcome out = engine.applyLine(line);
    if (!out.irdaTypeMessage.empty()) console.message(out.irdaTypeMessage);
    if (!out.opened) {
        console.message(std::string(kCannotOpenComPort) + ": " +
                        serial::cannotOpenAdvice(out.openError, line.port));
        return kExitFailed;
    }
    if (!out.baudRateMessage.empty()) console.message(out.baudRateMessage);
    if (!out.lineSet) {
        console.message(out.lineError.text);
        return kExitFailed;
    }

    Progress p;
    const bool sending = !a.sendFile.empty();
    if (sending) {
        TextStartResult started = engine.startTextFile(a.sendFile);
        if (!started) {
            console.message(serial::displayText(started.message));
            return kExitFailed;
        }
    }
    bool inputOpen = !sending;
    bool writeFailed = false;
    // Keys go out as they are typed; a lone Ctrl+D typed there ends the input.
    std::optional<platform::KeystrokeInput> keys;
    if (inputOpen) keys.emplace();
    const bool typing = keys && keys->active();
    std::vector<std::uint8_t> input(kInputChunk);
    auto drain = [&] {
        while (auto e = engine.events().tryPop()) handle(*e, console, format, p);
    };
    // A reader that went away (a closed pipe, a full disk) ends it: the program then says why.
    while (!console.interrupted() && !console.outputFailed()) {
        if (sending && p.ended) break;
        if (!sending && !inputOpen) break;
        if (inputOpen) {
            long n = platform::readStandardInput(input.data(), input.size(), kInputWaitMs);
            if (n < 0 || (typing && n == 1 && input[0] == kEndOfTyping)) {
                inputOpen = false;
            } else if (n > 0 && !engine.write(input.data(), static_cast<std::size_t>(n))) {
                writeFailed = true;
                break;
            }
            drain();
        } else if (auto e = engine.events().waitPop(kEventWait)) {
            handle(*e, console, format, p);
        }
        if (!sending && p.ended) break;  // the line went away
    }
    const bool interrupted = console.interrupted();
    if (sending && !p.ended) engine.stopTextFile();

    // What answers the last bytes still shows, unless the user asked to end.
    if (!interrupted && !console.outputFailed()) {
        const platform::Deadline linger(kLingerMax);
        p.quietUntil = platform::Deadline(kQuietEnd);
        while (!p.quietUntil.expired() && !linger.expired())
            if (auto e = engine.events().waitPop(kEventWait)) handle(*e, console, format, p);
    }
    console.clearProgress();

    if (writeFailed) {
        console.message("Cannot write to COM " + std::to_string(line.port));
        return kExitFailed;
    }
    if (interrupted) return kExitCancelled;
    if (console.outputFailed()) return kExitFailed;
    if (sending) {
        if (p.how == TextEnd::Transmitted) {
            console.message(kFileTransferred);
            return kExitOk;
        }
        if (!p.reason.empty()) console.message(p.reason);
        return kExitFailed;
    }
    if (p.ended && p.how == TextEnd::Failed) {
        console.message(p.reason);
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

serial::cli::Subcommand monitorSubcommand() {
    return {"monitor", "[--port N] [--baud B] [--format normal|ascii|hex]\n[--send-file FILE]",
            "the RS232 monitor on the terminal: prints what the line receives and sends\n"
            "          standard input to it as it comes; the end of input or Ctrl+C ends it.\n"
            "          From a terminal each key goes out as it is typed (Enter as CR, no\n"
            "          echo); Ctrl+D on its own ends it.\n"
            "  --port N             COM port number (setting \"port\")\n"
            "  --baud B             1200 to 115200 (setting \"baudrate\")\n"
            "  --format F           normal, ascii (control characters named: <CR>) or hex\n"
            "                       (setting \"format\")\n"
            "  --send-file FILE     sends the text file FILE and ends when it has gone out\n",
            runMonitor};
}

}  // namespace fenwald::cli
