// What the loader component ("Gantry.Gantry") and its host agree on: its class, its dispatch
// IDs, its one event and the ranges of its status codes, with the codes it reports.
//
// Every operation writes Port, then IrdaType (and for a download FileName), then calls its
// method, which returns at once; the work runs on the component's own thread and reports
// only through Status events. An operation is over with an error (10 to 999) or information
// (1000 to 1030) status; progress comes as code 2000 with the percentage, and 2001 and above
// carry a text for the status line.
#pragma once

#include <chrono>
#include <cstdint>

namespace fenwald::gantry {

// The one place they are written: the components' CMake registration reads them from here.
inline constexpr char kClassId[] = "{E91B52ED-8E44-11D5-8369-8555C730F863}";
inline constexpr char kProgId[] = "Gantry.Gantry";

// Properties (written) and methods (no arguments, no result).
constexpr int kPort = 1;      // I2, COM 1 to 255
constexpr int kFileName = 2;  // string, the firmware file's path
constexpr int kIrdaType = 3;  // I4, 0 to 5
constexpr int kDownload = 4;
constexpr int kShowVersions = 6;
constexpr int kSendTime = 9;
// Ours: ends the running operation (its status follows, code kCancelled), as destroying the
// component does.
constexpr int kCancel = 100;

// Event: I2 (always 0), I2 percentage 0 to 100, I2 code, string message.
constexpr int kStatusEvent = 1;

// Status codes, by range.
constexpr std::int16_t kProgressOnlyLast = 9;
constexpr std::int16_t kErrorFirst = 10, kErrorLast = 999;
constexpr std::int16_t kInformationFirst = 1000, kInformationLast = 1030;
constexpr std::int16_t kProgress = 2000;  // the percentage: "N % ready"
constexpr std::int16_t kProgressTextFirst = 2001;

// The codes this loader reports.
namespace status {
// Errors: the operation is over.
constexpr std::int16_t kCannotReadFile = 10;
constexpr std::int16_t kBadFirmwareFile = 11;
constexpr std::int16_t kCannotOpenPort = 12;
constexpr std::int16_t kNoScanner = 13;
constexpr std::int16_t kNoAnswer = 14;  // no ACK to a request
constexpr std::int16_t kRefused = 15;   // something else than ACK to a request
constexpr std::int16_t kTransferFailed = 16;
constexpr std::int16_t kLineLost = 17;
constexpr std::int16_t kCancelled = 18;
constexpr std::int16_t kBusy = 19;               // an operation was started while one ran
constexpr std::int16_t kBadSettings = 20;        // no file name, a port outside 1 to 255
constexpr std::int16_t kCannotStartThread = 21;  // the operation cannot run
// Information: the operation is over.
constexpr std::int16_t kInstalled = 1000;
constexpr std::int16_t kVersions = 1001;
constexpr std::int16_t kTimeSet = 1002;
// Progress texts.
constexpr std::int16_t kCheckingFile = 2001;
constexpr std::int16_t kLookingForScanner = 2002;
constexpr std::int16_t kSending = 2003;
constexpr std::int16_t kAsking = 2004;
}  // namespace status

// The firmware goes as a YMODEM batch of 1024-byte blocks with these waits, at the rate the
// scanner answered at, 600 bps at the lowest.
constexpr std::chrono::milliseconds kFirmwareAnswerWait{2000};
constexpr int kFirmwareRetries = 4;
constexpr unsigned kLowestRate = 600;

// The longest the loader can work without a Status event: every try of the scanner's start,
// the batch's header and each block that stands between two percentages of a firmware file of
// this size, at the lowest rate. (Before the file goes, each step reports at once or after
// waits of a second or two.)
inline std::chrono::milliseconds longestSilence(std::uint64_t firmwareBytes) {
    const std::uint64_t blocks = firmwareBytes / (100 * 1024) + 3;
    const std::chrono::milliseconds blockOnTheWire{(1024 + 5) * 10 * 1000 / kLowestRate + 1};
    return (kFirmwareAnswerWait + blockOnTheWire) * (kFirmwareRetries + 1) *
           static_cast<std::int64_t>(blocks);
}

inline bool endsOperation(int code) {
    return (code >= kErrorFirst && code <= kErrorLast) ||
           (code >= kInformationFirst && code <= kInformationLast) || code == 1050 || code == 1100;
}
inline bool isError(int code) {
    return code >= kErrorFirst && code <= kErrorLast;
}

}  // namespace fenwald::gantry
