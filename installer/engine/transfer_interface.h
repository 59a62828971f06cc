// What the transfer component ("Vesk.VeskCtl") and its host agree on: its class, its dispatch
// IDs, its two events and the status codes it reports.
//
// The host writes the properties 1 to 9 in order and calls ReceiveFile or TransmitFile, which
// return at once: 0 started; status::kUnknownProtocol or status::kCannotStartThread refused,
// with that status; status::kBusy while a transfer runs (no status: the running one's
// follows). The transfer runs on the component's own thread, a YMODEM batch on the port the
// component opens itself. It
// reports Progress events (forward only) and exactly one Status event per transfer: below
// 1000 an error, 1000 to 1999 information, 2000 and above nothing to show (a cancel).
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace fenwald::vesk {

// The one place they are written: the components' CMake registration reads them from here.
inline constexpr char kClassId[] = "{1983824D-C89C-11D5-B137-A0145DB9EC72}";
inline constexpr char kProgId[] = "Vesk.VeskCtl";

// The fixed text that opens ReceiveFile's and TransmitFile's arguments: the protocol.
constexpr char kProtocol[] = "YMODEM";

// Properties (written).
constexpr int kPort = 1;           // I2
constexpr int kBaudRate = 2;       // I4
constexpr int kParity = 3;         // I2, 0 none, 1 odd, 2 even
constexpr int kDataBits = 4;       // I2, 7 or 8
constexpr int kStopBits = 5;       // I2, 0 one, 2 two
constexpr int kCharTimeout = 6;    // I4, ms between the bytes of a block
constexpr int kAnswerTimeout = 7;  // I4, ms for an answer, a block or the start
constexpr int kRetries = 8;        // I4, more tries per block
constexpr int kIrdaType = 9;       // I4, 0 to 4
// Methods.
constexpr int kReceiveFile = 10;   // (string protocol, string folder, I4 unused) -> I2
constexpr int kIsBusy = 14;        // () -> I2, nonzero while a transfer runs
constexpr int kTransmitFile = 22;  // (string protocol, string path) -> I2
// Ours: ends the running transfer (CAN goes out; its status follows, code kCancelled), as
// destroying the component does.
constexpr int kCancel = 100;

constexpr int kDefaultCharTimeoutMs = 250;
constexpr int kDefaultAnswerTimeoutMs = 5000;
constexpr int kDefaultRetries = 10;

// The longest a transfer with these settings can go without an event: every try of the other
// side's start, the batch's header and each block that stands between two percentages of a
// file of this size. A received file's size is not known before it comes: 0 bounds the wait
// until the first event.
inline std::chrono::milliseconds longestSilence(int answerTimeoutMs, int retries, int baudRate,
                                                std::uint64_t fileBytes) {
    using std::chrono::milliseconds;
    const std::int64_t tries = std::max(retries, 0) + 1;
    const std::int64_t blocks = static_cast<std::int64_t>(fileBytes / (100 * 1024)) + 3;
    const milliseconds blockOnTheWire{(1024 + 5) * 10 * 1000 / std::max(baudRate, 1) + 1};
    const milliseconds perTry = milliseconds(std::max(answerTimeoutMs, 1)) + blockOnTheWire;
    return perTry * tries * blocks;
}

// Events.
constexpr int kProgressEvent = 2;  // I2 percentage, I2 0, I2 0
constexpr int kStatusEvent = 3;    // I2 code, string message, I2 0, I2 0

constexpr std::int16_t kInformationFirst = 1000;
constexpr std::int16_t kNothingToShowFirst = 2000;

// The codes this component reports.
namespace status {
constexpr std::int16_t kUnknownProtocol = 100;
constexpr std::int16_t kBusy = 101;
constexpr std::int16_t kCannotOpenPort = 102;
constexpr std::int16_t kBadSettings = 103;  // a line setting the port does not take
constexpr std::int16_t kFileError = 104;    // the file to send, or the folder to receive into
constexpr std::int16_t kTimedOut = 105;
constexpr std::int16_t kCancelledByPeer = 106;
constexpr std::int16_t kTooManyRetries = 107;
constexpr std::int16_t kLineFailed = 108;
constexpr std::int16_t kProtocolError = 109;
constexpr std::int16_t kCannotStartThread = 110;  // the transfer cannot run
constexpr std::int16_t kSent = 1000;
constexpr std::int16_t kReceived = 1001;
constexpr std::int16_t kCancelled = 2000;
}  // namespace status

}  // namespace fenwald::vesk
