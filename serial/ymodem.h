// YMODEM batch transfers (YMODEM-1K with CRC-16, as lrzsz's `sz --ymodem` and `rz --ymodem`
// speak it), both ways, over any byte line: the installer's loader and transfer component and
// the simulated scanner all use this one implementation.
//
// How it works: the receiver asks with 'C'; each file goes as block 0 (its base name, NUL, its
// decimal size) and then numbered data blocks, each ACKed or NAKed; EOT (NAKed once, then
// ACKed) ends the file, an empty block 0 ends the batch. The sender sends 1024-byte blocks
// padded with SUB; the receiver takes 128 and 1024 and cuts the file to the size from block 0.
// When block 0 gives no size, the receiver keeps everything except the SUBs that end the last
// block (a file that really ends in SUB then loses them; lrzsz always sends the size).
// Two CANs in a row from the peer end the transfer; we send CANs (and backspaces, as lrzsz
// does) when we give up or are cancelled.
//
// Waits: every wait for the peer's answer (an ACK, the next block, the 'C' that starts a
// transfer) lasts the answer time-out, plus the wire time of a block still leaving the line;
// bytes inside a block must follow each other within the inter-character time-out. A block
// is sent again (the sender) or asked for again (the receiver) up to `retries` more times
// after a NAK, a damaged block or silence. The start counts as a block: the receiver repeats
// its 'C', the sender waits as many answer time-outs for it. Stale input is purged first; the
// sender still takes a 'C' found in it as the start, so a receiver started first need not
// repeat it.
// Once every file is acknowledged the batch is done: the closing empty block 0 gets twice the
// inter-character time-out for its ACK (lrzsz's rz may exit before its ACK is out), unless
// the options ask for a strict end (a scanner's loader), which must be asked for and ACKed.
//
// The receiver writes each file into the folder under the name it came with (base name only;
// "", "." and ".." are refused), into a temporary file first that becomes "name.ext", or
// "name (1).ext", "name (2).ext" ... when that exists, once the file is complete; an existing
// file is never replaced, and the temporary file is removed when the transfer fails. YMODEM
// cannot skip a file, so a refused name cancels the batch.
//
// Threads: a transfer runs on the calling thread (a worker) and blocks until it ends; progress
// is called on that thread. The cancel flag may be set from any thread: every wait checks it
// at least every 50 ms, and the transfer then sends CANs and ends with Cancelled.
// Errors: the result says what ended the transfer (an outcome to word the user's message by,
// plus a detail line naming the file and block) and lists the files moved completely.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cancel_flag.h"
#include "platform/serial_device.h"

namespace serial {

namespace ymodem {
constexpr std::uint8_t kSoh = 0x01;  // a 128-byte block follows
constexpr std::uint8_t kStx = 0x02;  // a 1024-byte block follows
constexpr std::uint8_t kEot = 0x04;
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kBs = 0x08;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kCan = 0x18;
constexpr std::uint8_t kSub = 0x1A;  // pads the last data block
constexpr std::uint8_t kCrcRequest = 'C';
constexpr std::size_t kShortBlock = 128;
constexpr std::size_t kLongBlock = 1024;
constexpr std::size_t kBlockOverhead = 5;  // header byte, number, its complement, CRC
}  // namespace ymodem

// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection.
std::uint16_t crc16Xmodem(std::span<const std::uint8_t> bytes);

// One block as it arrived, header byte first.
enum class YmodemBlockKind {
    Data,        // SOH or STX with all its bytes (check numberOk and crcOk)
    EndOfFile,   // EOT
    Cancel,      // CAN
    Incomplete,  // SOH or STX with fewer bytes than its size
    Unknown,     // no block starts with this byte (or nothing at all)
};
struct YmodemBlock {
    YmodemBlockKind kind = YmodemBlockKind::Unknown;
    std::uint8_t number = 0;
    bool numberOk = false;  // the second number byte is the complement of the first
    bool crcOk = false;
    std::span<const std::uint8_t> payload;  // 128 or 1024 bytes, inside the parsed bytes
    bool intact() const { return kind == YmodemBlockKind::Data && numberOk && crcOk; }
};
YmodemBlock parseYmodemBlock(std::span<const std::uint8_t> bytes);
// The whole length of a block that starts with this byte; 0 when it starts none.
std::size_t ymodemBlockLength(std::uint8_t header);
// SOH for a 128-byte payload, STX for 1024; empty for any other payload size.
std::vector<std::uint8_t> buildYmodemBlock(std::uint8_t number,
                                           std::span<const std::uint8_t> payload);

// Block 0's payload: name NUL, then ASCII fields "size [mtime [...]]" (decimal size, octal
// modification time), NUL padded.
struct YmodemHeader {
    std::string name;                       // as sent; empty in the block that ends the batch
    std::optional<std::uint64_t> size;      // absent when the sender gave none
    std::optional<std::uint64_t> modified;  // seconds since 1970, when given
    bool endsBatch() const { return name.empty(); }
};
// Nothing when the payload is no block 0: the name is not NUL terminated, or the size is not
// a number; error (when given) then says which.
std::optional<YmodemHeader> parseYmodemHeader(std::span<const std::uint8_t> payload,
                                              std::string* error = nullptr);
// A 128-byte payload, or 1024 when the name does not fit; empty when it does not fit that
// either. An empty name gives the block that ends the batch.
std::vector<std::uint8_t> buildYmodemHeader(std::string_view name, std::uint64_t size);
// The name a received file is stored under: the last part of the sent name ('/' and '\'
// both separate); nothing for "", "." and "..".
std::optional<std::string> ymodemStoredName(std::string_view sentName);
// "name.ext" -> "name (n).ext"; "name" -> "name (n)"; a leading dot starts no extension.
std::string numberedFileName(const std::string& name, int n);

// The line a transfer runs on.
class ByteLine {
public:
    virtual ~ByteLine() = default;
    // Up to max bytes, waiting at most wait for the first; 0 when nothing came or the line
    // failed (failure() tells).
    virtual std::size_t read(void* buffer, std::size_t max, std::chrono::milliseconds wait) = 0;
    // Hands bytes over, waiting at most wait for room; the count handed over, less than count
    // when the wait ended or the line failed (failure() tells).
    virtual std::size_t write(const void* data, std::size_t count,
                              std::chrono::milliseconds wait) = 0;
    // Drops everything received and not yet read.
    virtual void purgeInput() = 0;
    // Seconds a byte takes on the wire; 0 when the line has no rate of its own.
    virtual double byteTime() const { return 0; }
    // Why the line stopped working; empty while it works.
    virtual std::string failure() const = 0;
};

// A ByteLine over an open serial device. The device must outlive it.
class SerialDeviceLine final : public ByteLine {
public:
    explicit SerialDeviceLine(platform::SerialDevice& device) : device_(device) {}
    std::size_t read(void* buffer, std::size_t max, std::chrono::milliseconds wait) override;
    std::size_t write(const void* data, std::size_t count, std::chrono::milliseconds wait) override;
    void purgeInput() override;
    double byteTime() const override;
    std::string failure() const override { return failure_; }

private:
    platform::SerialDevice& device_;
    std::string failure_;
};

struct YmodemOptions {
    std::chrono::milliseconds charTimeout{250};     // between the bytes of a block
    std::chrono::milliseconds answerTimeout{5000};  // for an answer, a block, the start
    int retries = 10;                               // more tries per block
    // The sender, towards a receiver that keeps what it gets (a scanner's loader): what
    // arrived before a block went out is no answer to it, and the batch is done only once the
    // receiver has ACKed the EOT, asked for the next header and ACKed the closing block 0. A
    // stray ACK can then never end the batch before the receiver holds the file. Off, the
    // closing block is taken on trust, as lrzsz's rz may exit before its ACK is out.
    bool strictEnd = false;
};

enum class YmodemOutcome {
    Done,
    Cancelled,        // our cancel flag
    CancelledByPeer,  // the peer sent CAN CAN
    TimedOut,         // the peer stayed silent
    TooManyRetries,   // every try of a block was NAKed or arrived damaged
    LineFailed,       // the line closed or an I/O error
    FileError,        // a file could not be read, written or stored
    BadHeader,        // block 0 unreadable, or a name that cannot be stored
    ProtocolError,    // blocks out of order, a file shorter than its size, an XMODEM peer
};

// A file moved completely.
struct YmodemTransferred {
    std::string name;  // as sent in block 0
    std::string path;  // sender: the source (empty for bytes in memory); receiver: where stored
    std::uint64_t size = 0;
};

struct YmodemResult {
    YmodemOutcome outcome = YmodemOutcome::Done;
    std::string
        detail;  // empty when done; else e.g. "no answer to block 3 of fw.hex after 11 tries"
    std::vector<YmodemTransferred> files;
    bool ok() const { return outcome == YmodemOutcome::Done; }
};

// Per file: done starts at 0 and only grows, up to total; the receiver reports total 0 when
// block 0 gave no size. The sender counts acknowledged bytes.
struct YmodemProgress {
    std::size_t file = 0;   // its place in the batch, from 0
    std::string_view name;  // as sent in block 0
    std::uint64_t done = 0;
    std::uint64_t total = 0;
};
using YmodemProgressFn = std::function<void(const YmodemProgress&)>;

// A file to send: a file on disk, or bytes in memory; either goes unchanged.
struct YmodemFile {
    std::string name;  // sent as its base name
    std::string path;  // read from here unless inMemory
    std::vector<std::uint8_t> bytes;
    bool inMemory = false;

    static YmodemFile onDisk(const std::string& path, const std::string& name = {});
    static YmodemFile fromBytes(const std::string& name, std::vector<std::uint8_t> bytes);
};

class YmodemSender {
public:
    // line (and cancel, when given) must outlive the sender.
    explicit YmodemSender(ByteLine& line, YmodemOptions options = {},
                          const platform::CancelFlag* cancel = nullptr)
        : line_(line), options_(options), cancel_(cancel) {}
    void setProgress(YmodemProgressFn progress) { progress_ = std::move(progress); }
    // Every file on disk is checked (opens, is a regular file) before anything is sent.
    YmodemResult sendBatch(const std::vector<YmodemFile>& files);

private:
    ByteLine& line_;
    YmodemOptions options_;
    const platform::CancelFlag* cancel_;
    YmodemProgressFn progress_;
};

class YmodemReceiver {
public:
    // line (and cancel, when given) must outlive the receiver.
    explicit YmodemReceiver(ByteLine& line, YmodemOptions options = {},
                            const platform::CancelFlag* cancel = nullptr)
        : line_(line), options_(options), cancel_(cancel) {}
    void setProgress(YmodemProgressFn progress) { progress_ = std::move(progress); }
    // The folder must exist.
    YmodemResult receiveBatch(const std::string& folder);

private:
    ByteLine& line_;
    YmodemOptions options_;
    const platform::CancelFlag* cancel_;
    YmodemProgressFn progress_;
};

}  // namespace serial
