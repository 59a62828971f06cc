// The RS232 monitor's line, without a window: the monitor window and `fenwald monitor` both sit
// on it. It owns the monitor's CSerialCom and one receive thread that hands on what the line
// brings, watches CTS and DSR, and sends a text file piece by piece.
//
// The receive thread runs from construction to destruction. While the line is closed (or lost)
// it sleeps until a call here opens it. While it is open, each pass reports a change of CTS or
// DSR, sends the next piece of a text file (at most kPieceMax bytes, only when the line's
// output queue is empty), and reads at most kReadMax bytes, waiting on the line for up to
// kLineWait when nothing is queued, so a byte is taken as soon as it comes and a quiet line
// costs next to nothing.
//
// events(): everything the engine has to say, in the order it happened (so the last piece of a
// file is shown before the end of its transmission): received bytes, the pieces of a text file
// that went out (the window shows both in blue), lamp changes, progress, the end of a
// transmission and a line that went away. The engine never waits for the front end and drops
// nothing: what the front end has not taken stays queued, at a 115200 baud line about 11.5 KB a
// second for as long as it does not drain. A window drains it with serial/ui/queue_drain.h,
// the command line with waitPop. The bytes come raw; the front end shows them in the chosen
// display format with serial::renderBytes (serial/terminal_format.h), in serial::kColourBlue.
//
// What a front end does:
//   auto out = engine.applyLine(settings);   // at start, after each settings change, on a
//   settings = out.settings;                 // port arrival; the corrections are the settings'
//   show out.irdaTypeMessage; if (!out.opened) show kCannotOpenComPort (the command line adds
//   serial::cannotOpenAdvice(out.openError, port)) and stop; show out.baudRateMessage; set the
//   lamps from out.lamps. Typed bytes go to write() unless textTransmissionActive(); a port
//   removal goes to portRemoved(). Every started text file ends with one TextEnded event.
//
// Threads: the calls below come from the front end; they are serialised, so any thread may make
// them, and they block. Those that open, close or set the line first park the receive thread
// between two passes (up to kLineWait, or while a piece is written), so the line never changes
// under a transfer; write() and the toggles run beside its reads. events() may be drained on
// any one thread.
//
// Lifetime: the destructor stops the receive thread (a running transmission ends without an
// event, its file closed) before the line and the queue go.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/message_queue.h"
#include "platform/modem_lines.h"
#include "platform/serial_device.h"
#include "platform/system_error.h"
#include "platform/worker.h"
#include "serial/irda_adapter.h"
#include "serial/serial_com.h"

namespace fenwald {

constexpr std::string_view kCannotOpenComPort = "Cannot open com port";
constexpr std::string_view kInvalidIrdaDevice = "Invalid IrDA device selected\nChanged to 'none'";
constexpr std::string_view kInvalidBaudRate = "Invalid baudrate selected\nChanged to 9600";
constexpr std::string_view kCannotTransmit = "Cannot transmit. COM port is not open";
constexpr std::string_view kCannotOpenFile = "Cannot open ";       // followed by the path
constexpr std::string_view kCannotReadFile = "Cannot read from ";  // followed by the path
constexpr std::string_view kFileTransferred = "File transferred";
constexpr std::string_view kTextFileBusy = "A text file is being transmitted";

// The monitor's line settings: COM port, the platform's parity and stop-bit codes, the IrDA
// adapter or cradle type (serial::irda).
struct MonitorLineSettings {
    int port = 1;
    unsigned baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = platform::parity::None;
    std::uint8_t stopBits = platform::stopbits::One;
    int irda = serial::irda::None;
    bool operator==(const MonitorLineSettings&) const = default;
};

// What the monitor makes of an adapter type and a baud rate it cannot use: a type above 4 (the
// fixed-baud-rate cradle) becomes none; then Actisys at 4800 baud or less and the KWD4400 at
// 57600 run at 9600. Each message is empty when its value stayed.
struct IrdaCorrection {
    int irda = serial::irda::None;
    unsigned baudRate = 9600;
    std::string typeMessage;  // kInvalidIrdaDevice
    std::string baudMessage;  // kInvalidBaudRate
};
IrdaCorrection correctIrdaSettings(int irda, unsigned baudRate);

struct LampStates {
    bool cts = false, rts = false, dsr = false, dtr = false;
};

struct ApplyOutcome {
    // As applied: the corrected type, and the corrected rate once the line is open.
    MonitorLineSettings settings;
    std::string irdaTypeMessage;  // shown first
    bool opened = false;
    platform::SystemError openError;  // why not
    std::string baudRateMessage;      // shown after a successful open
    // The driver refused the settings (the line stays open as it was); lineError says why.
    bool lineSet = false;
    platform::SystemError lineError;
    LampStates lamps;
};

enum class TextEnd {
    Transmitted,  // every byte went out: the window shows kFileTransferred
    Failed,       // text: why (a write or a read that failed, the line lost)
    Stopped,      // stopTextFile, or the line was closed under it
};

struct MonitorEvent {
    enum class Kind {
        Received,   // bytes: from the line
        Sent,       // bytes: a piece of the text file that went out
        Cts,        // value: 1 on, 0 off
        Dsr,        // value: 1 on, 0 off
        Progress,   // value: percent of the text file read, 1..100, only when it changes
        TextEnded,  // value: a TextEnd; text: the reason of a failure
        LineLost,   // the line hung up (its adapter went away); the thread idles until the
                    // front end closes or applies it again
    };
    Kind kind = Kind::Received;
    int value = 0;
    std::vector<std::uint8_t> bytes;
    std::string text;
};

struct TextStartResult {
    enum Result { Started, LineNotOpen, CannotOpen, CannotRead, CannotWrite, Busy };
    Result result = Started;
    std::string message;  // what to show when not started
    explicit operator bool() const { return result == Started; }
};

class MonitorEngine {
public:
    static constexpr int kReadMax = 100;
    static constexpr int kPieceMax = 100;
    static constexpr std::chrono::milliseconds kLineWait{20};
    static constexpr int kPendingWaitMs = 2;

    // modemLines, when given, stands for the line's modem lines (tests); it must outlive the
    // engine and may be called from the receive thread.
    explicit MonitorEngine(platform::ModemLines* modemLines = nullptr);
    ~MonitorEngine();
    MonitorEngine(const MonitorEngine&) = delete;
    MonitorEngine& operator=(const MonitorEngine&) = delete;

    platform::MessageQueue<MonitorEvent>& events() { return events_; }

    // The line part of the monitor's ApplySettings: closes a line open on another port, opens
    // the port when closed, sets the line (rate, data bits, parity, stop bits), switches the
    // adapter to the rate and reads the lamps. A line that was lost is opened afresh.
    ApplyOutcome applyLine(const MonitorLineSettings& settings);
    // What a port arrival does: the settings last applied again (nothing when none were).
    ApplyOutcome reopen();
    // Closes the line (ending a transmission); the thread idles until a line is applied.
    void closeLine();
    // A port device went away: when it is the port last applied, the line is closed; true then.
    bool portRemoved(int portNumber);
    // COM number of the open line, else 0.
    int openPort() const { return openPort_; }

    LampStates lamps();
    // The new state.
    bool toggleRts();
    bool toggleDtr();
    // Typed or pasted bytes; blocks until they have left (at most CSerialCom's wait).
    bool write(const std::uint8_t* data, std::size_t length);

    // Opens the file, sends its first byte at once and reports progress 1; the receive thread
    // sends the rest. The result's message is what the window shows when it did not start.
    TextStartResult startTextFile(const std::string& path);
    void stopTextFile();
    bool textTransmissionActive() const { return textActive_; }

private:
    class Hold;
    struct TextFile {
        std::FILE* file = nullptr;
        std::string path;
        std::uintmax_t length = 0;  // 0: unknown, no progress
        std::uintmax_t position = 0;
        int lastProgress = 0;
    };

    void run();
    void pass();
    bool interrupted() const;
    void reportLamps();
    void sendPiece();
    void lineLost();
    void endText(TextEnd how, std::string reason = {});
    void closeHeld();
    void setUsable(bool usable);
    void push(MonitorEvent::Kind kind, int value = 0, std::vector<std::uint8_t> bytes = {},
              std::string text = {});

    CSerialCom com_;
    platform::MessageQueue<MonitorEvent> events_;
    std::mutex controlLock_;  // one front-end call at a time
    std::mutex writeLock_;    // typed bytes and file pieces, one write at a time
    std::optional<MonitorLineSettings> applied_;
    std::atomic<int> openPort_{0};
    std::atomic<bool> textActive_{false};

    // The receive thread's own, and the front end's while the thread is parked.
    TextFile text_;
    std::optional<bool> lastCts_, lastDsr_;  // neither on nor off: the first poll reports

    // Parking: a call that changes the line holds the thread out of its passes.
    std::mutex gateLock_;
    std::condition_variable gateChanged_;
    std::atomic<int> holds_{0};
    bool inPass_ = false;
    bool usable_ = false;  // open and not lost

    bool startReceiving();

    platform::Worker worker_;  // last: stops before what it uses goes away
};

}  // namespace fenwald
