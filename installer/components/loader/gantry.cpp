// The loader component "Gantry.Gantry": installs firmware files into a scanner, asks it for its
// software versions and sets its clock (installer/engine/loader_interface.h).
//
// Each method copies the properties into an operation and posts it to the component's worker,
// which runs the operations one at a time: it finds the scanner's rate
// (installer/engine/scanner_probe.h), then speaks the scanner's commands at that rate:
//   ESC "FW" CR, ACK within 1 s, then the file unchanged as a YMODEM-1K batch, installed
//   only once the scanner has asked for and ACKed the batch's closing block
//   ESC "Z1" CR, the reply up to CR within 1 s
//   ESC "T" YYYYMMDDhhmmss CR (local time), ACK within 1 s
// and ends with one error or information status. A firmware file is read and checked whole
// before the port is opened, so a corrupt one never reaches the line.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>

#include "installer/components/common/component_support.h"
#include "installer/engine/fenwald_settings.h"
#include "installer/engine/firmware_file.h"
#include "installer/engine/loader_interface.h"
#include "installer/engine/scanner_probe.h"
#include "platform/command_worker.h"
#include "platform/deadline.h"
#include "platform/folders.h"
#include "serial/serial_com.h"
#include "serial/ymodem.h"

extern const std::uint8_t kLoaderIdlePng[];
extern const std::size_t kLoaderIdlePng_size;
extern const std::uint8_t kLoaderBusyPng[];
extern const std::size_t kLoaderBusyPng_size;

namespace fenwald {

namespace loader {

using namespace gantry;
using std::chrono::milliseconds;

constexpr std::uint8_t kEsc = 0x1B, kCr = 0x0D, kAck = 0x06;
constexpr milliseconds kAnswerWait{1000};
constexpr std::size_t kVersionReplyLimit = 1024;
// The scanner asks for the file soon after its ACK; a silent one ends the download after
// (retries + 1) answer time-outs. It keeps what it gets, so the batch ends strictly.
constexpr serial::YmodemOptions kFirmwareTransfer{.charTimeout = milliseconds(250),
                                                  .answerTimeout = kFirmwareAnswerWait,
                                                  .retries = kFirmwareRetries,
                                                  .strictEnd = true};

enum class Job { Download, ShowVersions, SendTime };

struct Operation {
    Job job = Job::Download;
    int port = 1;
    int irdaType = 0;
    std::string fileName;
    std::uint64_t number = 0;  // counts the operations posted, for cancelling
};

// The probe's line, telling the status line which rate it tries.
class ReportingProbeLine final : public ProbeLine {
public:
    ReportingProbeLine(SerialComProbeLine& line, std::function<void(unsigned)> trying)
        : line_(line), trying_(std::move(trying)) {}
    bool open(unsigned baudRate) override {
        trying_(baudRate);
        return line_.open(baudRate);
    }
    bool writeByte(std::uint8_t byte) override { return line_.writeByte(byte); }
    std::optional<std::uint8_t> readArrivedByte() override { return line_.readArrivedByte(); }
    void close() override { line_.close(); }
    bool wait(milliseconds duration) override { return line_.wait(duration); }

private:
    SerialComProbeLine& line_;
    std::function<void(unsigned)> trying_;
};

std::string comName(int port) {
    return "COM" + std::to_string(port);
}

// The local time as the scanner takes it: YYYYMMDDhhmmss.
std::string scannerTime(std::time_t now) {
    std::tm t{};
    ::localtime_r(&now, &t);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &t);
    return text;
}

std::string readableTime(const std::string& t) {
    return t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) + " " + t.substr(8, 2) +
           ":" + t.substr(10, 2) + ":" + t.substr(12, 2);
}

class GantryComponent final : public ReportingComponent {
public:
    // A thread that cannot start now is tried again by each operation, which reports why it
    // failed.
    GantryComponent()
        : ReportingComponent({kLoaderIdlePng, kLoaderIdlePng_size},
                             {kLoaderBusyPng, kLoaderBusyPng_size}) {
        (void)worker_.start();
    }
    ~GantryComponent() override {
        cancelledUpTo_ = UINT64_MAX;
        cancel_.set();
        worker_.stop();
    }

    bool setProperty(int dispatchId, const platform::DispatchValue& value) override {
        if (dispatchId == kFileName) {
            auto text = platform::dispatchAs<std::string>(value);
            if (text) fileName_ = *text;
            return text.has_value();
        }
        auto number = integerOf(value);
        if (!number) return false;
        if (dispatchId == kPort)
            port_ = *number;
        else if (dispatchId == kIrdaType)
            irdaType_ = *number;
        else
            return false;
        return true;
    }

    std::optional<platform::DispatchValue> invoke(
        int dispatchId, const std::vector<platform::DispatchValue>& arguments) override {
        if (!arguments.empty()) return std::nullopt;
        if (dispatchId == kCancel) {
            cancelledUpTo_ = posted_.load();
            cancel_.set();
            return platform::DispatchValue{};
        }
        Job job;
        if (dispatchId == kDownload)
            job = Job::Download;
        else if (dispatchId == kShowVersions)
            job = Job::ShowVersions;
        else if (dispatchId == kSendTime)
            job = Job::SendTime;
        else
            return std::nullopt;
        if (!threadRunning()) return platform::DispatchValue{};
        worker_.post({job, port_, irdaType_, fileName_, ++posted_});
        return platform::DispatchValue{};
    }

private:
    // The worker, started now when it could not be before; false after the error status.
    bool threadRunning() {
        if (worker_.running() || worker_.start()) return true;
        percent_ = 0;  // no thread shares it now
        status(status::kCannotStartThread,
               "The loader cannot start its thread: " + worker_.startFailure().text);
        return false;
    }

    void onCommand(Operation& op) {
        // A cancel covers the operations posted before it, not those after.
        if (op.number > cancelledUpTo_) cancel_.reset();
        if (op.number <= cancelledUpTo_) cancel_.set();
        percent_ = 0;
        run(op);
    }

    void status(std::int16_t code, const std::string& message) {
        events_.push(kStatusEvent, {std::int16_t{0}, toI2(percent_), std::int16_t{code}, message});
    }
    void progress(int percent) {
        if (percent <= percent_) return;  // forward only
        percent_ = std::min(percent, 100);
        status(kProgress, std::to_string(percent_) + " % ready");
    }

    void run(const Operation& op) {
        if (cancel_.isSet()) return status(status::kCancelled, "The operation was cancelled");
        if (op.port < 1 || op.port > 255)
            return status(status::kBadSettings,
                          "COM" + std::to_string(op.port) + " is no port: ports are 1 to 255");
        switch (op.job) {
            case Job::Download:
                return download(op);
            case Job::ShowVersions:
                return showVersions(op);
            case Job::SendTime:
                return sendTime(op);
        }
    }

    // Finds the scanner and leaves the line open at its rate; false after the error status.
    bool connect(SerialComProbeLine& line, const Operation& op) {
        ReportingProbeLine reporting(line, [&](unsigned rate) {
            status(status::kLookingForScanner,
                   "Looking for the scanner at " + std::to_string(rate) + " bps");
        });
        ScannerRate found = detectScannerRate(reporting, probeRatesFor(op.irdaType));
        if (found.cancelled) {
            status(status::kCancelled, "The operation was cancelled");
            return false;
        }
        if (found.openError) {
            status(status::kCannotOpenPort, line.openFailure());
            return false;
        }
        if (!found.found) {
            status(status::kNoScanner,
                   op.irdaType == kFixedBaudRateCradle
                       ? "No scanner answered on " + comName(op.port) + " at 9600 bps"
                       : "No scanner answered on " + comName(op.port) + " at any rate");
            return false;
        }
        if (!line.open(found.rate)) {
            status(status::kCannotOpenPort, line.openFailure());
            return false;
        }
        return true;
    }

    bool send(CSerialCom& com, std::initializer_list<std::string> parts) {
        std::string bytes;
        for (const auto& p : parts) bytes += p;
        return com.Write(bytes.data(), static_cast<int>(bytes.size()));
    }

    // The one-byte answer to a request: ACK, another byte, or nothing within a second.
    enum class Answer { Ack, Other, None };
    Answer answer(CSerialCom& com) {
        std::uint8_t b = 0;
        if (com.device().readExact(&b, 1, kAnswerWait) != 1) return Answer::None;
        return b == kAck ? Answer::Ack : Answer::Other;
    }

    void download(const Operation& op) {
        const std::string name = platform::fileNameOf(op.fileName);
        if (op.fileName.empty()) return status(status::kBadSettings, "No firmware file given");
        status(status::kCheckingFile, "Checking " + name);
        std::vector<std::uint8_t> content;
        if (!readFirmware(op.fileName, content)) return;
        const FirmwareCheck check = checkFirmware(op.fileName, content);
        if (!check.ok) return status(status::kBadFirmwareFile, describeProblem(check, op.fileName));

        CSerialCom com;
        SerialComProbeLine line(com, op.port, op.irdaType, &cancel_);
        if (!connect(line, op)) return;
        const std::string request = {char(kEsc), 'F', 'W', char(kCr)};
        send(com, {request});
        switch (answer(com)) {
            case Answer::None:
                return status(status::kNoAnswer, "The scanner on " + comName(op.port) +
                                                     " did not answer the firmware request");
            case Answer::Other:
                return status(status::kRefused, "The scanner on " + comName(op.port) +
                                                    " refused the firmware request");
            case Answer::Ack:
                break;
        }
        status(status::kSending, "Sending " + name);
        const std::uint64_t size = content.size();
        serial::SerialDeviceLine ymodemLine(com.device());
        serial::YmodemSender sender(ymodemLine, kFirmwareTransfer, &cancel_);
        sender.setProgress([&](const serial::YmodemProgress& p) {
            if (p.total > 0) progress(static_cast<int>(p.done * 100 / p.total));
        });
        const serial::YmodemResult sent =
            sender.sendBatch({serial::YmodemFile::fromBytes(name, std::move(content))});
        if (sent.ok()) {
            progress(100);
            return status(status::kInstalled,
                          "Firmware " + name + " installed (" + std::to_string(size) + " bytes)");
        }
        transferFailed(sent, name, op.port);
    }

    void transferFailed(const serial::YmodemResult& r, const std::string& name, int port) {
        const std::string detail = r.detail.empty() ? "" : " (" + r.detail + ")";
        switch (r.outcome) {
            case serial::YmodemOutcome::Cancelled:
                return status(status::kCancelled, "The download of " + name + " was cancelled");
            case serial::YmodemOutcome::CancelledByPeer:
                return status(status::kTransferFailed,
                              "The scanner cancelled the download of " + name + detail);
            case serial::YmodemOutcome::TimedOut:
                return status(
                    status::kTransferFailed,
                    "The scanner stopped answering during the download of " + name + detail);
            case serial::YmodemOutcome::TooManyRetries:
                return status(status::kTransferFailed,
                              "The scanner refused the blocks of " + name + detail);
            case serial::YmodemOutcome::LineFailed:
                return status(status::kLineLost, "The line to " + comName(port) +
                                                     " was lost during the download of " + name +
                                                     detail);
            default:
                return status(status::kTransferFailed,
                              "The download of " + name + " failed" + detail);
        }
    }

    // The whole file, or one byte more than a firmware file may have (checkFirmware refuses
    // that); false after the error status.
    bool readFirmware(const std::string& path, std::vector<std::uint8_t>& content) {
        if (platform::isDirectory(path)) {
            status(status::kCannotReadFile, "Cannot read " + path + ": it is a folder");
            return false;
        }
        platform::SystemError why;
        std::FILE* in = platform::openRegularFileStream(path, &why);
        if (!in) {
            status(status::kCannotReadFile, "Cannot read " + path + ": " + why.text);
            return false;
        }
        content.resize(kMaxFirmwareFileSize + 1);
        const std::size_t got = std::fread(content.data(), 1, content.size(), in);
        const bool failed = std::ferror(in) != 0;
        if (failed) why = platform::SystemError::fromErrno();
        std::fclose(in);
        if (failed) {
            status(status::kCannotReadFile, "Cannot read " + path + ": " + why.text);
            return false;
        }
        content.resize(got);
        return true;
    }

    void showVersions(const Operation& op) {
        CSerialCom com;
        SerialComProbeLine line(com, op.port, op.irdaType, &cancel_);
        if (!connect(line, op)) return;
        status(status::kAsking, "Asking the scanner for its software versions");
        send(com, {std::string{char(kEsc), 'Z', '1', char(kCr)}});
        std::string reply;
        bool ended = false;
        platform::Deadline until(kAnswerWait);
        while (!ended && reply.size() < kVersionReplyLimit && !until.expired()) {
            char c = 0;
            auto left = std::chrono::duration_cast<milliseconds>(until.remaining());
            if (com.device().readExact(&c, 1, left) != 1) break;
            if (c == char(kCr))
                ended = true;
            else
                reply += c;
        }
        if (!ended && reply.empty())
            return status(status::kNoAnswer, "The scanner on " + comName(op.port) +
                                                 " did not answer the version request");
        // A reply cut short, or a bare CR, names no version: reporting it as one would be a
        // false success.
        if (!ended)
            return status(status::kRefused,
                          "The scanner sent no version (its reply did not end): " + reply);
        if (reply.empty()) return status(status::kRefused, "The scanner sent no version");
        status(status::kVersions, "Scanner software: " + reply);
    }

    void sendTime(const Operation& op) {
        CSerialCom com;
        SerialComProbeLine line(com, op.port, op.irdaType, &cancel_);
        if (!connect(line, op)) return;
        const std::string time = scannerTime(std::time(nullptr));
        status(status::kAsking, "Setting the scanner's clock");
        send(com, {std::string{char(kEsc), 'T'}, time, std::string{char(kCr)}});
        switch (answer(com)) {
            case Answer::None:
                return status(status::kNoAnswer,
                              "The scanner on " + comName(op.port) + " did not answer the time");
            case Answer::Other:
                return status(status::kRefused,
                              "The scanner on " + comName(op.port) + " refused the time");
            case Answer::Ack:
                break;
        }
        status(status::kTimeSet, "Scanner clock set to " + readableTime(time));
    }

    // The properties, written and read on the host's thread only; an operation takes a copy.
    int port_ = 1;
    int irdaType_ = 0;
    std::string fileName_;
    std::atomic<std::uint64_t> posted_{0};
    std::atomic<std::uint64_t> cancelledUpTo_{0};
    platform::CancelFlag cancel_;
    int percent_ = 0;  // the worker's
    // Last: it stops before the members its operations use go away.
    platform::CommandWorker<Operation> worker_{[this](Operation& op) { onCommand(op); }};
};

}  // namespace loader

}  // namespace fenwald

extern "C" platform::Component* veltrixCreateComponent(const char* classId) {
    return fenwald::createComponentFor<fenwald::loader::GantryComponent>(classId,
                                                                         fenwald::gantry::kClassId);
}
