// The simulated scanner's end of a firmware transfer: a YMODEM batch received over its line
// with the project's one YMODEM implementation (serial/ymodem.h), the files kept in memory.
#pragma once

#include <cstddef>
#include <stop_token>
#include <string>
#include <vector>

#include "sim/sim_line.h"

namespace sim {

struct ReceivedFile {
    std::string name;  // as it came in block 0
    Bytes bytes;
};

struct BatchReceipt {
    bool ok = false;
    std::string detail;               // why not, when not
    std::vector<ReceivedFile> files;  // those received whole
};

// Runs on the device thread until the batch ends, the line closes or stop is requested.
// pending from at: bytes read from the line and not handled yet; the receiver takes them first.
// strayAck: an ACK goes out as soon as a 1024-byte block starts to arrive, before the block
// is through (a receiver that answers too early, or noise that reads as ACK).
BatchReceipt receiveYmodemBatch(SimLine& line, Bytes& pending, std::size_t& at,
                                std::stop_token stop, bool strayAck = false);

}  // namespace sim
