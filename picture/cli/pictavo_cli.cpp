#include "picture/cli/pictavo_cli.h"

#include <chrono>
#include <cstdio>
#include <iomanip>
#include <optional>
#include <sstream>

#include "picture/engine/command_table.h"
#include "picture/engine/image_video.h"
#include "picture/engine/messages.h"
#include "picture/engine/picture_files.h"
#include "picture/engine/picture_settings.h"
#include "picture/engine/setting_checks.h"
#include "platform/console.h"
#include "platform/deadline.h"
#include "platform/folders.h"
#include "platform/port_map.h"
#include "serial/display_text.h"
#include "serial/port_discovery.h"
#include "serial/terminal_format.h"

namespace pictavo::cli {

namespace {

using namespace serial::cli;

constexpr std::size_t kSendReplySize = 14000;

// The command line's message boxes: the text on standard error, for as long as it runs.
class MessagesToConsole {
public:
    explicit MessagesToConsole(Console& c)
        : previous_(setMessageHandler([&c](const Message& m) { c.message(m.text); })) {}
    ~MessagesToConsole() { setMessageHandler(std::move(previous_)); }

private:
    MessageHandler previous_;
};

// Takes what the engine has reported: its messages go to standard error, progress to the bar.
// The outcome of its capture thread once that has ended.
std::optional<CaptureOutcome> takeReport(const platform::Report& r, Console& console) {
    switch (r.kind) {
        case platform::Report::Kind::Message:
        case platform::Report::Kind::Log:
            console.message(r.text);
            break;
        case platform::Report::Kind::Progress:
            console.progress(r.value);
            break;
        case platform::Report::Kind::Completed:
            return static_cast<CaptureOutcome>(r.value);
    }
    return std::nullopt;
}

void showReports(CImageVideo& engine, Console& console) {
    while (auto r = engine.Reports().tryPop()) takeReport(*r, console);
}

PictureSettings readSettings() {
    PictureSettingsFile file;
    file.setReadOnly(true);
    file.setDefaultPath();
    PictureSettings s;
    LoadSettings(file, s);
    for (const std::string& w : restoreRefusedSettings(file, s)) showMessage(w);
    return s;
}

int runCapture(const std::vector<std::string>& args, Console& console) {
    MessagesToConsole messages(console);
    PictureSettings s = readSettings();
    std::string output;
    std::optional<int> quality;
    std::optional<int> timeoutSeconds;
    bool checkPortName = false;
    for (Options o(args, "capture"); !o.done();) {
        if (auto p = o.port()) {
            s.port = *p;
        } else if (auto v = o.value("--output")) {
            output = *v;
            if (output.empty()) throw UsageError{"--output needs a file name"};
        } else if (auto q = o.value("--quality")) {
            quality = serial::cli::parseNumber("--quality", *q);
            // The quality dialog's limit and the engine's steps.
            if (*quality < 5 || *quality % 5 != 0 || !qualityInRange(*quality))
                throw UsageError{"--quality must be a multiple of 5 from 5 to " +
                                 std::to_string(kQualityLimit) + ", not " + *q};
        } else if (auto w = o.value("--window")) {
            int v[4];
            std::istringstream in(*w);
            std::string part;
            int n = 0;
            while (std::getline(in, part, ',')) {
                if (n == 4) throw UsageError{"--window takes four numbers: X0,Y0,X1,Y1"};
                v[n++] = serial::cli::parseNumber("--window", part);
            }
            if (n != 4) throw UsageError{"--window takes four numbers: X0,Y0,X1,Y1"};
            if (!pictureWindowInRange({v[0], v[1], v[2], v[3]}))
                throw UsageError{
                    "--window must lie inside the 1280 x 1024 picture and be at least 2 x 2 pixels "
                    "(X0 < X1 < 1280, Y0 < Y1 < 1024), not " +
                    *w};
            s.startx = v[0], s.starty = v[1], s.endx = v[2], s.endy = v[3];
        } else if (auto t = o.number("--timeout")) {
            if (*t < 1)
                throw UsageError{"--timeout takes a number of seconds from 1 up, not " +
                                 std::to_string(*t)};
            timeoutSeconds = *t;
        } else if (o.flag("--bmp")) {
            s.jpegImage = 0;
        } else if (o.flag("--snapshot")) {
            s.snapshot = 1;
        } else if (o.flag("--no-snapshot")) {
            s.snapshot = 0;
        } else if (o.flag("--check-port-name")) {
            checkPortName = true;
        } else {
            o.unknownOption();
        }
    }
    if (quality) s.quality = *quality;
    if (checkPortName) s.ignorePortName = 0;
    // A folder gets the picture under its default name, inside it.
    if (!output.empty() && platform::isDirectory(output))
        output = platform::joinPath(output, defaultPictureName());

    std::string temp = makeTempPictureFile();
    if (temp.empty()) return kExitFailed;
    struct RemoveTemp {
        std::string path;
        bool keep = false;
        explicit RemoveTemp(std::string p) : path(std::move(p)) { platform::removeIfKilled(path); }
        ~RemoveTemp() {
            platform::forgetRemoveIfKilled(path);
            if (!keep) std::remove(path.c_str());
        }
    } tempFile{temp};

    console.message("Initializing...");
    CImageVideo engine(s.port);
    if (!engine.FindDevice(s.ignorePortName != 0)) {
        showReports(engine, console);
        console.message("Initialization Failed.");
        return kExitFailed;
    }

    std::atomic<bool> written{false};
    std::string savedAs;
    std::string incomplete;
    std::size_t pictureBytes = 0;
    engine.SetRequestFlags(0);
    engine.SetIdleInterval(0);
    engine.SetImageCallback(
        [&](const BitmapInfo* header, const std::uint8_t* data, std::size_t length) {
            incomplete = incompletePicture(header, data, length);
            if (!storePicture(temp, header, data, length)) return;
            if (!output.empty() && !savePictureCopy(temp, output, &savedAs)) return;
            pictureBytes = length;
            written = true;
        });
    engine.SetSnapshot(s.snapshot != 0);
    engine.SetQuality(
        s.quality);  // a value it refuses leaves its previous quality, as in the window
    engine.SetWindow(s.startx, s.starty, s.endx, s.endy);
    if (engine.StartCapture(s.jpegImage != 0) != 0) {
        showReports(engine, console);
        return kExitFailed;
    }
    if (s.snapshot) console.message("Aim and trigger...");

    bool cancelled = false, timedOut = false;
    const platform::Deadline deadline(std::chrono::seconds(timeoutSeconds.value_or(0)));
    std::optional<CaptureOutcome> ended;
    while (!ended) {
        if (auto r = engine.Reports().waitPop(std::chrono::milliseconds(50)))
            ended = takeReport(*r, console);
        if (ended || cancelled || timedOut) continue;
        if (console.interrupted()) {
            cancelled = true;
            engine.StopCapture();
        } else if (timeoutSeconds && deadline.expired()) {
            timedOut = true;
            console.message("No picture within " + std::to_string(*timeoutSeconds) +
                            " s: the capture is cancelled.");
            engine.StopCapture();
        }
    }
    engine.WaitForCaptureEnd(std::chrono::milliseconds(-1));
    CaptureOutcome outcome = *ended;
    if (outcome != CaptureOutcome::Delivered) {
        if (!timedOut) console.message(captureOutcomeText(outcome));
        return cancelled ? kExitCancelled : kExitFailed;
    }
    if (!written) return kExitFailed;

    std::ostringstream report;
    std::string kind = s.jpegImage ? "JPEG" : "BMP";
    if (output.empty()) {
        report << "Picture (" << kind << ", " << pictureBytes << " bytes received) in " << temp
               << "\n";
    } else {
        report << "Saved " << savedAs << " (" << kind << ", " << pictureBytes
               << " bytes received)\n";
    }
    console.print(report.str());
    // Only the printed name leads to the picture: unread, the file would be lost in the folder.
    if (output.empty()) tempFile.keep = !console.outputFailed();
    if (!incomplete.empty()) {
        console.message(incomplete);
        return kExitFailed;
    }
    return kExitOk;
}

int runSend(const std::vector<std::string>& args, Console& console) {
    MessagesToConsole messages(console);
    PictureSettings s = readSettings();
    std::string name;
    for (Options o(args, "send"); !o.done();) {
        if (auto p = o.port()) {
            s.port = *p;
        } else {
            std::string next = o.positional();
            if (!name.empty())
                throw UsageError{"send takes one command name (quote names with blanks)"};
            name = next;
        }
    }
    CommandTable table(s.cameraSetup);
    if (name.empty()) throw UsageError{"send needs a command name"};
    const ScannerCommand* command = table.find(name);
    if (!command) {
        std::string names;
        for (const auto& n : table.names(true)) names += "\n  " + n;
        throw UsageError{"unknown command \"" + name + "\"; the commands are:" + names};
    }

    CImageVideo engine(s.port);
    if (!engine.FindDevice(s.ignorePortName != 0)) {
        showReports(engine, console);
        console.message("Initialization Failed.");
        return kExitFailed;
    }
    std::vector<char> reply(kSendReplySize);
    int replyLength = 0;
    const bool sent =
        engine.SendCommand(command->bytes.data(), static_cast<int>(command->bytes.size()),
                           reply.data(), reply.size(), true, replyLength, command->replyWaitMs);
    // Gone during the write or the wait for the reply, the scanner is neither silent nor
    // unwilling: say where it went.
    if ((!sent || replyLength == 0) && engine.LastCommandLostLine()) {
        console.message(engine.lineLostLine());
        return kExitFailed;
    }
    if (!sent) {
        showReports(engine, console);
        console.message("The command could not be sent.");
        return kExitFailed;
    }
    if (replyLength == 0) {
        console.message("No reply.");
        return kExitFailed;
    }
    std::string text =
        serial::renderBytes(reinterpret_cast<const std::uint8_t*>(reply.data()),
                            static_cast<std::size_t>(replyLength), serial::kFormatAscii);
    for (char& c : text)
        if (c == '\r') c = '\n';
    if (text.back() != '\n') text += '\n';
    console.print(text);
    return kExitOk;
}

int runPorts(const std::vector<std::string>& args, Console& console) {
    MessagesToConsole messages(console);
    if (!args.empty()) throw UsageError{"ports takes no options: " + args[0]};
    PictureSettings s = readSettings();
    for (const std::string& w : platform::listPorts().warnings)
        console.message(serial::displayText(w));
    std::vector<PortEntry> ports;
    if (ListPortsForMenu(ports, serial::PortOrder::Ascending) == 0) {
        console.message("No ports found.");
        console.message("Ports come from " + platform::portSourceDescription() + ".");
        return kExitFailed;
    }
    std::ostringstream list;
    for (const auto& p : ports)
        list << (p.number == s.port ? "* " : "  ") << std::setw(3) << p.number << "  " << p.name
             << "\n";
    console.print(list.str());
    return kExitOk;
}

}  // namespace

const serial::cli::Program& program() {
    static const serial::cli::Program program{
        "pictavo",
        {
            {"capture",
             "[--port N] [--output FILE] [--bmp] [--quality Q]\n"
             "[--window X0,Y0,X1,Y1] [--snapshot | --no-snapshot] [--check-port-name]\n"
             "[--timeout SECONDS]",
             "takes a picture with the scanner and writes it.\n"
             "  --port N             COM port number (setting \"port\")\n"
             "  --output FILE        copy the picture to FILE, byte for byte; \".jpg\" (\".bmp\" "
             "with\n"
             "                       --bmp) is added when FILE has no extension. Without it the\n"
             "                       picture stays in the temporary file named on standard "
             "output.\n"
             "                       A folder gets the picture as picture-YYYYMMDD-hhmmss inside "
             "it\n"
             "  --bmp                ask for an uncompressed grey picture, stored as a BMP file\n"
             "                       (setting \"JPEGImage\" 0)\n"
             "  --quality Q          JPEG quality, a multiple of 5 from 5 to 100 (setting "
             "\"quality\")\n"
             "  --window X0,Y0,X1,Y1 the picture window inside 1280 x 1024, at least 2 x 2\n"
             "                       (settings \"startx\" .. \"endy\")\n"
             "  --snapshot           the scanner waits for its trigger; so does pictavo\n"
             "  --timeout SECONDS    give up when no picture has come after this long\n"
             "  --no-snapshot        the scanner takes the picture at once (setting \"snapshot\")\n"
             "  --check-port-name    use the port only if its name shows \"Veltrix\"\n"
             "                       (setting \"IgnorePortName\" 0)\n"
             "  Ctrl+C cancels a running capture. A picture that arrived incomplete (a JPEG\n"
             "  without its end, fewer rows than announced) is still written, and fails.\n",
             runCapture},
            {"send", "\"COMMAND NAME\" [--port N]",
             "sends a named scanner command and prints the reply as the ASCII terminal\n"
             "          shows it. The commands: Default KTR, Get SW Version, Rack Analyze,\n"
             "          Rack Calibrate, Save Config, Setup Camera (setting \"CameraSetup\"),\n"
             "          Toggle Laser, Toggle debug, Trigger. No reply fails.\n",
             runSend},
            {"ports", "",
             "lists the COM ports as the Port menu shows them; * marks the port of the\n"
             "          settings.\n",
             runPorts},
        },
        "Settings not given come from the picture tool's settings file, " +
            std::string(PictureSettingsFile::kFileName) +
            " under $XDG_CONFIG_HOME (default ~/.config); the command line never writes it.\n"
            "Ports come from the port map ($VELTRIX_PORTS, else $XDG_CONFIG_HOME/veltrix/ports).\n"
            "Messages go to standard error. Exit status: 0 done, 1 failed, 2 usage error, 130 "
            "cancelled.\n",
        serial::cli::AfterUsageError::TryHelp,
        // The first Ctrl+C cancels a capture as the window's Cancel button does; the second
        // ends the program.
        platform::InterruptMode::CancelThenEnd,
    };
    return program;
}

}  // namespace pictavo::cli
