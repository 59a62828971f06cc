#include "installer/cli/configure_command.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "installer/cli/settings_reading.h"
#include "installer/engine/configuration_file.h"
#include "installer/engine/fenwald_settings.h"
#include "installer/engine/hid_configuration.h"
#include "installer/engine/scanner_connection.h"
#include "installer/engine/serial_configuration.h"
#include "platform/lock_keys.h"
#include "platform/worker.h"
#include "serial/display_text.h"

namespace fenwald::cli {

namespace {

using namespace serial::cli;

constexpr char kNoScannerFound[] = "No scanner answered on COM ";
constexpr char kHidSendFailed[] = "fenwald: the send through the keyboard indicators failed: ";
constexpr std::chrono::milliseconds kInterruptLook{20};

struct ConfigureArguments {
    std::string file;
    std::optional<int> port;
    bool temporary = false;
    bool hid = false;
};

ConfigureArguments readArguments(const std::vector<std::string>& args) {
    ConfigureArguments a;
    for (Options o(args, "configure"); !o.done();) {
        if (auto p = o.port())
            a.port = *p;
        else if (o.flag("--temporary"))
            a.temporary = true;
        else if (o.flag("--hid"))
            a.hid = true;
        else if (a.file.empty())
            a.file = o.positional();
        else
            o.unknownOption();
    }
    if (a.file.empty()) throw UsageError{"configure needs the configuration file (.vsc)"};
    return a;
}

int readPortSetting(Console& console) {
    CommandLineSettings settings(console);
    settings.refuseBadValues({"port"});
    return settings.values().port;
}

void showConnection(Console& console, const ScannerConnection& c) {
    console.printLine(c.portLabel());
    console.printLine(c.rateLabel());
}

// Ctrl+C ends the HID send: the console's flag is watched beside it.
int sendHid(const ConfigureArguments& a, const std::string& configuration, Console& console) {
    platform::CancelFlag cancel;
    HidConfigurationResult result;
    std::string failure;  // what the send threw
    platform::Worker sender;
    const bool started = sender.start([&](std::stop_token) {
        try {
            auto keys = platform::systemLockKeys();
            HidConfigurationOptions options;
            options.cancel = &cancel;
            options.progress = [&](std::size_t done, std::size_t total) {
                console.progress(total ? static_cast<int>(done * 100 / total) : 100);
            };
            result = SendConfigurationHid(*keys, configuration, !a.temporary, options);
        } catch (const std::exception& e) {
            failure = e.what();
        }
    });
    if (!started) {
        console.message(kHidSendFailed + std::string("no thread could be started."));
        return kExitFailed;
    }
    while (!sender.waitForEnd(kInterruptLook))
        if (console.interrupted()) cancel.set();
    console.clearProgress();
    if (!failure.empty()) {
        console.message(kHidSendFailed + serial::displayText(failure) + ".");
        return kExitFailed;
    }
    if (result.message) {
        console.message(result.message->text);
        return kExitFailed;
    }
    if (result.outcome == HidOutcome::Cancelled) return kExitCancelled;
    return kExitOk;
}

// Sets the flag once Ctrl+C has been pressed, for the waits that watch a flag only.
class InterruptWatch {
public:
    InterruptWatch(const Console& console, platform::CancelFlag& cancel) {
        started_ = watch_.start([this, &console, &cancel](std::stop_token) {
            do {
                if (console.interrupted()) {
                    cancel.set();
                    return;
                }
            } while (watch_.pause(kInterruptLook));
        });
    }

    // False when no thread watches: nothing would end a wait on Ctrl+C.
    bool started() const { return started_; }
    std::string failure() const { return watch_.startFailure().text; }

private:
    bool started_ = false;
    platform::Worker watch_;
};

int sendSerial(const ConfigureArguments& a, const std::string& configuration, Console& console) {
    const int portNumber = a.port ? *a.port : readPortSetting(console);
    CSerialPort port;
    platform::CancelFlag cancel;
    InterruptWatch watch(console, cancel);
    if (!watch.started()) {
        console.message("fenwald: the interrupt watch cannot start its thread: " + watch.failure());
        return kExitFailed;
    }
    try {
        ScannerConnection c = DetectScannerRate(port, portNumber, &cancel);
        if (c.cancelled) return kExitCancelled;
        if (c.message) {
            console.message(c.message->text);
            return kExitFailed;
        }
        if (!c.found) {
            console.message(kNoScannerFound + std::to_string(portNumber) + ".");
            return kExitFailed;
        }
        showConnection(console, c);
        SerialConfigurationResult sent =
            SendConfigurationSerial(port, configuration, !a.temporary, {}, &cancel);
        if (sent.cancelled) return kExitCancelled;
        if (!sent.accepted) {
            console.message(sent.message.text);
            return kExitFailed;
        }
        c = DetectScannerRate(port, portNumber, &cancel);
        if (c.found) showConnection(console, c);
        console.printLine(sent.message.text);
        return c.cancelled ? kExitCancelled : kExitOk;
    } catch (const CSerialException& e) {
        console.message(e.what());
        return kExitFailed;
    }
}

// The window says only that the file is not valid; here the byte is named, so it can be found.
std::string controlByteProblem(const ConfigurationLoad& load) {
    char byte[8];
    std::snprintf(byte, sizeof byte, "0x%02x", load.controlByte);
    std::string text(kConfigurationNotValid);
    text.pop_back();  // its full stop
    return text + ": control byte " + byte + " at offset " +
           std::to_string(*load.controlByteOffset) + ".";
}

int runConfigure(const std::vector<std::string>& args, Console& console) {
    const ConfigureArguments a = readArguments(args);
    ConfigurationLoad load = LoadConfigurationFile(a.file);
    if (!load.ok) {
        console.message(load.controlByteOffset ? controlByteProblem(load)
                        : load.message         ? load.message->text
                                               : std::string(kConfigurationNotValid));
        return kExitFailed;
    }
    if (a.hid) {
        // Asked here, on a probe of its own, so no "Configuration found." promises a send.
        const std::string why = platform::systemLockKeys()->whyUnavailable();
        if (!why.empty()) {
            console.message("fenwald: --hid needs a graphical display (" +
                            serial::displayText(why) + ").");
            return kExitFailed;
        }
    }
    console.printLine(std::string(kConfigurationFound) + " " + serial::displayText(load.fileName));
    return a.hid ? sendHid(a, load.configuration, console)
                 : sendSerial(a, load.configuration, console);
}

}  // namespace

serial::cli::Subcommand configureSubcommand() {
    return {"configure", "FILE.vsc [--port N] [--temporary] [--hid]",
            "sends the scanner configuration in FILE.vsc (\"Config=\" and at most 493 bytes)\n"
            "          to the scanner: over the line it finds the scanner and its baud rate\n"
            "          first and waits for its acknowledgement.\n"
            "  --port N             COM port number (setting \"port\")\n"
            "  --temporary          the scanner does not keep the settings when switched off\n"
            "  --hid                through the keyboard's lock indicators, for a scanner\n"
            "                       attached as a USB keyboard (about 0.8 s a byte)\n",
            runConfigure};
}

}  // namespace fenwald::cli
