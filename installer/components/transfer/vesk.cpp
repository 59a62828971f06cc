// The transfer component "Vesk.VeskCtl": moves files as YMODEM batches over the monitor's port
// (installer/engine/transfer_interface.h), interoperable with lrzsz's sz and rz.
//
// TransmitFile and ReceiveFile check their arguments, copy the properties into a transfer
// and post it to the component's worker; they return at once. The worker opens the port with
// the line settings given (and switches an IrDA adapter of type 1 to 4 to the baud rate), runs
// the batch, closes the port and ends with exactly one Status event. A received file goes into
// the folder under the name it came with, numbered when that name is taken.
#include <algorithm>
#include <atomic>

#include "installer/components/common/component_support.h"
#include "installer/engine/transfer_interface.h"
#include "platform/command_worker.h"
#include "platform/folders.h"
#include "serial/irda_adapter.h"
#include "serial/serial_com.h"
#include "serial/ymodem.h"

extern const std::uint8_t kTransferIdlePng[];
extern const std::size_t kTransferIdlePng_size;
extern const std::uint8_t kTransferBusyPng[];
extern const std::size_t kTransferBusyPng_size;

namespace fenwald {

namespace transfer {

using namespace vesk;
using std::chrono::milliseconds;

struct LineProperties {
    int port = 1;
    int baudRate = 9600;
    int parity = 0;
    int dataBits = 8;
    int stopBits = 0;
    int charTimeoutMs = kDefaultCharTimeoutMs;
    int answerTimeoutMs = kDefaultAnswerTimeoutMs;
    int retries = kDefaultRetries;
    int irdaType = 0;
};

struct Transfer {
    bool transmit = true;
    std::string path;  // the file to send, or the folder to receive into
    LineProperties line;
};

std::string plural(std::size_t n, const char* one, const char* more) {
    return std::to_string(n) + " " + (n == 1 ? one : more);
}

class VeskComponent final : public ReportingComponent {
public:
    // A thread that cannot start now is tried again by each transfer, which reports why it
    // failed.
    VeskComponent()
        : ReportingComponent({kTransferIdlePng, kTransferIdlePng_size},
                             {kTransferBusyPng, kTransferBusyPng_size}) {
        (void)worker_.start();
    }
    ~VeskComponent() override {
        cancel_.set();
        worker_.stop();
    }

    bool setProperty(int dispatchId, const platform::DispatchValue& value) override {
        auto number = integerOf(value);
        if (!number) return false;
        int* field = dispatchId == kPort            ? &line_.port
                     : dispatchId == kBaudRate      ? &line_.baudRate
                     : dispatchId == kParity        ? &line_.parity
                     : dispatchId == kDataBits      ? &line_.dataBits
                     : dispatchId == kStopBits      ? &line_.stopBits
                     : dispatchId == kCharTimeout   ? &line_.charTimeoutMs
                     : dispatchId == kAnswerTimeout ? &line_.answerTimeoutMs
                     : dispatchId == kRetries       ? &line_.retries
                     : dispatchId == kIrdaType      ? &line_.irdaType
                                                    : nullptr;
        if (!field) return false;
        *field = *number;
        return true;
    }

    std::optional<platform::DispatchValue> invoke(
        int dispatchId, const std::vector<platform::DispatchValue>& arguments) override {
        if (dispatchId == kIsBusy && arguments.empty())
            return platform::DispatchValue(std::int16_t{busy_ ? std::int16_t{1} : std::int16_t{0}});
        if (dispatchId == kCancel && arguments.empty()) {
            if (busy_) cancel_.set();
            return platform::DispatchValue{};
        }
        const bool transmit = dispatchId == kTransmitFile;
        if (!(transmit && arguments.size() == 2) &&
            !(dispatchId == kReceiveFile && arguments.size() == 3))
            return std::nullopt;
        auto protocol = platform::dispatchAs<std::string>(arguments[0]);
        auto path = platform::dispatchAs<std::string>(arguments[1]);
        if (!protocol || !path || (!transmit && !integerOf(arguments[2]))) return std::nullopt;
        if (busy_) return platform::DispatchValue(status::kBusy);  // the running one reports
        if (*protocol != kProtocol) {
            finalStatus(status::kUnknownProtocol, "Unknown transfer protocol \"" + *protocol +
                                                      "\": this component speaks " + kProtocol);
            return platform::DispatchValue(status::kUnknownProtocol);
        }
        if (!worker_.running() && !worker_.start()) {
            finalStatus(
                status::kCannotStartThread,
                "The transfer component cannot start its thread: " + worker_.startFailure().text);
            return platform::DispatchValue(status::kCannotStartThread);
        }
        busy_ = true;
        cancel_.reset();
        worker_.post({transmit, *path, line_});
        return platform::DispatchValue(std::int16_t{0});
    }

private:
    void onCommand(Transfer& t) {
        percent_ = 0;
        auto [code, message] = run(t);
        // Idle before the status goes out, so whoever reads it may start the next transfer.
        busy_ = false;
        finalStatus(code, message);
    }

    void finalStatus(std::int16_t code, const std::string& message) {
        events_.push(kStatusEvent, {code, message, std::int16_t{0}, std::int16_t{0}});
    }
    void progress(std::uint64_t done, std::uint64_t total) {
        if (total == 0) return;
        int percent = static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 100));
        if (percent <= percent_) return;  // forward only, over the whole batch
        percent_ = percent;
        events_.push(kProgressEvent, {toI2(percent), std::int16_t{0}, std::int16_t{0}});
    }

    std::pair<std::int16_t, std::string> run(const Transfer& t) {
        const LineProperties& p = t.line;
        if (t.transmit && !platform::fileExists(t.path))
            return {status::kFileError, "Cannot send " + t.path + ": there is no such file"};
        if (!t.transmit && !platform::isDirectory(t.path))
            return {status::kFileError,
                    "Cannot receive into " + t.path + ": there is no such folder"};
        if (p.port < 1 || p.port > 255)
            return {status::kBadSettings,
                    "COM" + std::to_string(p.port) + " is no port: ports are 1 to 255"};
        CSerialCom com;
        if (!com.Open(p.port)) return {status::kCannotOpenPort, com.OpenFailureAdvice()};
        const platform::LineSettings settings{
            static_cast<unsigned>(std::max(p.baudRate, 0)), static_cast<std::uint8_t>(p.dataBits),
            static_cast<std::uint8_t>(p.parity), static_cast<std::uint8_t>(p.stopBits)};
        if (p.baudRate <= 0 || !com.SetLineSettings(settings))
            return {status::kBadSettings, "COM" + std::to_string(p.port) + " does not take " +
                                              std::to_string(p.baudRate) + " baud with " +
                                              std::to_string(p.dataBits) + " data bits, parity " +
                                              std::to_string(p.parity) + " and stop bits " +
                                              std::to_string(p.stopBits)};
        if (p.irdaType >= serial::irda::LiteLink && p.irdaType <= serial::irda::Kwd4400)
            com.ProgramIrDAAdapter(p.irdaType, static_cast<unsigned>(p.baudRate));

        serial::YmodemOptions options;
        options.charTimeout = milliseconds(std::max(p.charTimeoutMs, 1));
        options.answerTimeout = milliseconds(std::max(p.answerTimeoutMs, 1));
        options.retries = std::max(p.retries, 0);
        auto onProgress = [this](const serial::YmodemProgress& progressed) {
            progress(progressed.done, progressed.total);
        };
        serial::SerialDeviceLine line(com.device());
        serial::YmodemResult r;
        if (t.transmit) {
            serial::YmodemSender sender(line, options, &cancel_);
            sender.setProgress(onProgress);
            r = sender.sendBatch(
                {serial::YmodemFile::onDisk(t.path, platform::fileNameOf(t.path))});
        } else {
            serial::YmodemReceiver receiver(line, options, &cancel_);
            receiver.setProgress(onProgress);
            r = receiver.receiveBatch(t.path);
        }
        if (r.ok()) return t.transmit ? sent(r) : received(r, t.path);
        return failed(r, t.transmit);
    }

    std::pair<std::int16_t, std::string> sent(const serial::YmodemResult& r) {
        const serial::YmodemTransferred f =
            r.files.empty() ? serial::YmodemTransferred{} : r.files.front();
        return {status::kSent, "Sent " + f.name + " (" + plural(f.size, "byte", "bytes") + ")"};
    }

    std::pair<std::int16_t, std::string> received(const serial::YmodemResult& r,
                                                  const std::string& folder) {
        if (r.files.empty()) return {status::kReceived, "Received no file: the batch was empty"};
        if (r.files.size() == 1) {
            const serial::YmodemTransferred& f = r.files.front();
            return {status::kReceived, "Received " + f.name + " (" +
                                           plural(f.size, "byte", "bytes") + ") as " + f.path};
        }
        std::string names;
        for (const auto& f : r.files)
            names += (names.empty() ? "" : ", ") + platform::fileNameOf(f.path);
        return {status::kReceived, "Received " + plural(r.files.size(), "file", "files") +
                                       " into " + folder + ": " + names};
    }

    std::pair<std::int16_t, std::string> failed(const serial::YmodemResult& r, bool transmit) {
        const std::string what =
            transmit ? "The transfer to the other side" : "The transfer from the other side";
        const std::string detail = r.detail.empty() ? "" : ": " + r.detail;
        switch (r.outcome) {
            case serial::YmodemOutcome::Cancelled:
                return {status::kCancelled, "The transfer was cancelled"};
            case serial::YmodemOutcome::CancelledByPeer:
                return {status::kCancelledByPeer, "The other side cancelled the transfer" + detail};
            case serial::YmodemOutcome::TimedOut:
                return {status::kTimedOut, "The other side did not answer" + detail};
            case serial::YmodemOutcome::TooManyRetries:
                return {status::kTooManyRetries, what + " failed after every retry" + detail};
            case serial::YmodemOutcome::LineFailed:
                return {status::kLineFailed, "The line failed during the transfer" + detail};
            case serial::YmodemOutcome::FileError:
                return {status::kFileError, what + " failed" + detail};
            case serial::YmodemOutcome::BadHeader:
            case serial::YmodemOutcome::ProtocolError:
            case serial::YmodemOutcome::Done:
                break;
        }
        return {status::kProtocolError, what + " failed" + detail};
    }

    LineProperties line_;  // the host's thread only; a transfer takes a copy
    std::atomic<bool> busy_{false};
    platform::CancelFlag cancel_;
    int percent_ = 0;  // the worker's
    // Last: it stops before the members its transfers use go away.
    platform::CommandWorker<Transfer> worker_{[this](Transfer& t) { onCommand(t); }};
};

}  // namespace transfer

}  // namespace fenwald

extern "C" platform::Component* veltrixCreateComponent(const char* classId) {
    return fenwald::createComponentFor<fenwald::transfer::VeskComponent>(classId,
                                                                         fenwald::vesk::kClassId);
}
