#include "installer/components/common/line_transfer.h"

#include "serial/serial_com.h"
#include "serial/ymodem.h"

namespace fenwald {

namespace {

serial::YmodemOptions optionsOf(const TransferTimeouts& t) {
    serial::YmodemOptions o;
    o.charTimeout = t.charTimeout;
    o.answerTimeout = t.answerTimeout;
    o.retries = t.retries;
    return o;
}

TransferOutcome outcomeOf(serial::YmodemOutcome o) {
    using O = serial::YmodemOutcome;
    switch (o) {
        case O::Done:
            return TransferOutcome::Done;
        case O::Cancelled:
            return TransferOutcome::Cancelled;
        case O::CancelledByPeer:
            return TransferOutcome::CancelledByPeer;
        case O::TimedOut:
            return TransferOutcome::TimedOut;
        case O::TooManyRetries:
            return TransferOutcome::TooManyRetries;
        case O::LineFailed:
            return TransferOutcome::LineFailed;
        case O::FileError:
            return TransferOutcome::FileError;
        case O::BadHeader:
        case O::ProtocolError:
            return TransferOutcome::ProtocolError;
    }
    return TransferOutcome::ProtocolError;
}

TransferResult resultOf(serial::YmodemResult r) {
    TransferResult out{outcomeOf(r.outcome), std::move(r.detail), {}};
    for (auto& f : r.files) out.files.push_back({std::move(f.name), std::move(f.path), f.size});
    return out;
}

serial::YmodemProgressFn progressOf(const TransferProgress& progress) {
    if (!progress) return {};
    return [progress](const serial::YmodemProgress& p) { progress(p.done, p.total); };
}

}  // namespace

TransferResult sendYmodemBatch(CSerialCom& com, const std::vector<OutgoingFile>& files,
                               const TransferTimeouts& timeouts, const platform::CancelFlag& cancel,
                               const TransferProgress& progress, BatchEnd end) {
    if (!com.IsOpen()) return {TransferOutcome::LineFailed, "the port is not open", {}};
    std::vector<serial::YmodemFile> batch;
    batch.reserve(files.size());
    for (const auto& f : files)
        batch.push_back(f.path.empty() ? serial::YmodemFile::fromBytes(f.name, f.bytes)
                                       : serial::YmodemFile::onDisk(f.path, f.name));
    serial::SerialDeviceLine line(com.device());
    serial::YmodemOptions options = optionsOf(timeouts);
    options.strictEnd = end == BatchEnd::Acknowledged;
    serial::YmodemSender sender(line, options, &cancel);
    sender.setProgress(progressOf(progress));
    return resultOf(sender.sendBatch(batch));
}

TransferResult receiveYmodemBatch(CSerialCom& com, const std::string& folder,
                                  const TransferTimeouts& timeouts,
                                  const platform::CancelFlag& cancel,
                                  const TransferProgress& progress) {
    if (!com.IsOpen()) return {TransferOutcome::LineFailed, "the port is not open", {}};
    serial::SerialDeviceLine line(com.device());
    serial::YmodemReceiver receiver(line, optionsOf(timeouts), &cancel);
    receiver.setProgress(progressOf(progress));
    return resultOf(receiver.receiveBatch(folder));
}

}  // namespace fenwald
