// A YMODEM batch over an open CSerialCom, for both components: the one place they reach the
// project's YMODEM implementation (serial/ymodem.h), in the terms the components report in.
//
// Each call blocks the calling thread (the component's worker) until the batch ends; the
// cancel flag, set from any thread, ends it promptly with CAN sent to the other side. Progress
// is called on that thread with the bytes done so far and the file's size (0 when the sender
// gave none).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/cancel_flag.h"

class CSerialCom;

namespace fenwald {

struct TransferTimeouts {
    std::chrono::milliseconds charTimeout{250};     // between the bytes of a block
    std::chrono::milliseconds answerTimeout{5000};  // for an answer, a block, the start
    int retries = 10;                               // more tries per block
};

enum class TransferOutcome {
    Done,
    Cancelled,        // our cancel flag
    CancelledByPeer,  // CAN CAN from the other side
    TimedOut,         // the other side stayed silent
    TooManyRetries,   // every try of a block refused or damaged
    LineFailed,       // the line closed or failed
    FileError,        // a file could not be read, written or stored
    ProtocolError,    // anything else the other side got wrong (a bad block 0 included)
};

struct TransferredFile {
    std::string name;  // as it went in block 0
    std::string path;  // the source, or where it was stored
    std::uint64_t size = 0;
};

struct TransferResult {
    TransferOutcome outcome = TransferOutcome::Done;
    std::string detail;  // the protocol's own words, for the message after ours
    std::vector<TransferredFile> files;
    bool ok() const { return outcome == TransferOutcome::Done; }
};

using TransferProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// A file on disk, or bytes in memory (empty path) sent under name; either goes unchanged.
struct OutgoingFile {
    std::string name;
    std::string path;
    std::vector<std::uint8_t> bytes;
};

// When the batch counts as sent: once the closing block 0 has gone out (a program such as rz
// may exit before its ACK), or only once the receiver has asked for it and ACKed it (a scanner,
// which keeps the file: a stray ACK must not end the batch before it holds it).
enum class BatchEnd { Sent, Acknowledged };

TransferResult sendYmodemBatch(CSerialCom& com, const std::vector<OutgoingFile>& files,
                               const TransferTimeouts& timeouts, const platform::CancelFlag& cancel,
                               const TransferProgress& progress, BatchEnd end = BatchEnd::Sent);
// Stores every file into folder under the name it came with, never replacing a file there.
TransferResult receiveYmodemBatch(CSerialCom& com, const std::string& folder,
                                  const TransferTimeouts& timeouts,
                                  const platform::CancelFlag& cancel,
                                  const TransferProgress& progress);

}  // namespace fenwald
