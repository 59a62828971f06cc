#include "serial/ymodem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/deadline.h"
#include "platform/folders.h"
#include "platform/system_error.h"

namespace serial {

using namespace ymodem;
using platform::Deadline;
using std::chrono::milliseconds;

namespace {

// How often a wait looks at the cancel flag.
constexpr milliseconds kCancelCheck{50};
// What lrzsz sends to cancel: CANs, then backspaces that erase them again on a terminal.
constexpr std::uint8_t kCancelSequence[] = {kCan, kCan, kCan, kCan, kCan, kCan, kCan, kCan,
                                            kBs,  kBs,  kBs,  kBs,  kBs,  kBs,  kBs,  kBs};
constexpr std::size_t kLongBlockBytes = kLongBlock + kBlockOverhead;

constexpr auto kCrcTable = [] {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        unsigned c = i << 8;
        for (int bit = 0; bit < 8; ++bit) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
        table[i] = static_cast<std::uint16_t>(c);
    }
    return table;
}();

void fillBlock(std::uint8_t* out, std::uint8_t number, std::span<const std::uint8_t> payload) {
    out[0] = payload.size() == kShortBlock ? kSoh : kStx;
    out[1] = number;
    out[2] = static_cast<std::uint8_t>(~number);
    std::copy(payload.begin(), payload.end(), out + 3);
    std::uint16_t crc = crc16Xmodem(payload);
    out[3 + payload.size()] = static_cast<std::uint8_t>(crc >> 8);
    out[4 + payload.size()] = static_cast<std::uint8_t>(crc & 0xFF);
}

std::string plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::uint16_t crc16Xmodem(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0;
    for (std::uint8_t b : bytes)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
    return crc;
}

std::size_t ymodemBlockLength(std::uint8_t header) {
    if (header == kSoh) return kShortBlock + kBlockOverhead;
    if (header == kStx) return kLongBlock + kBlockOverhead;
    return 0;
}

YmodemBlock parseYmodemBlock(std::span<const std::uint8_t> bytes) {
    YmodemBlock block;
    if (bytes.empty()) return block;
    if (bytes[0] == kEot) block.kind = YmodemBlockKind::EndOfFile;
    if (bytes[0] == kCan) block.kind = YmodemBlockKind::Cancel;
    std::size_t length = ymodemBlockLength(bytes[0]);
    if (length == 0) return block;
    if (bytes.size() >= 3) {
        block.number = bytes[1];
        block.numberOk = (bytes[1] ^ bytes[2]) == 0xFF;
    }
    if (bytes.size() < length) {
        block.kind = YmodemBlockKind::Incomplete;
        return block;
    }
    block.kind = YmodemBlockKind::Data;
    block.payload = bytes.subspan(3, length - kBlockOverhead);
    unsigned sent = (unsigned(bytes[length - 2]) << 8) | bytes[length - 1];
    block.crcOk = crc16Xmodem(block.payload) == sent;
    return block;
}

std::vector<std::uint8_t> buildYmodemBlock(std::uint8_t number,
                                           std::span<const std::uint8_t> payload) {
    if (payload.size() != kShortBlock && payload.size() != kLongBlock) return {};
    std::vector<std::uint8_t> block(payload.size() + kBlockOverhead);
    fillBlock(block.data(), number, payload);
    return block;
}

std::optional<YmodemHeader> parseYmodemHeader(std::span<const std::uint8_t> payload,
                                              std::string* error) {
    auto refuse = [&](const char* why) -> std::optional<YmodemHeader> {
        if (error) *error = why;
        return std::nullopt;
    };
    const char* text = reinterpret_cast<const char*>(payload.data());
    std::string_view all(text, payload.size());
    std::size_t nameEnd = all.find('\0');
    if (nameEnd == std::string_view::npos) return refuse("the file name is not terminated");
    YmodemHeader header;
    header.name.assign(all.substr(0, nameEnd));
    if (header.name.empty()) return header;  // the batch ends; the rest is padding

    std::string_view fields = all.substr(nameEnd + 1);
    fields = fields.substr(0, fields.find('\0'));
    std::size_t at = 0;
    auto skipSpaces = [&] {
        while (at < fields.size() && fields[at] == ' ') ++at;
    };
    // Digits up to a space or the end; false when something else follows or it overflows.
    auto number = [&](unsigned base, std::optional<std::uint64_t>& out) {
        std::uint64_t value = 0;
        std::size_t start = at;
        for (; at < fields.size() && fields[at] != ' '; ++at) {
            unsigned digit = static_cast<unsigned>(fields[at] - '0');
            if (digit >= base || value > (UINT64_MAX - digit) / base) return false;
            value = value * base + digit;
        }
        if (at > start) out = value;
        return true;
    };
    skipSpaces();
    if (!number(10, header.size)) return refuse("the file size is not a number");
    skipSpaces();
    std::optional<std::uint64_t> modified;
    // The later fields are the sender's business: a modification time that does not read is
    // dropped, not an error.
    if (number(8, modified)) header.modified = modified;
    return header;
}

std::vector<std::uint8_t> buildYmodemHeader(std::string_view name, std::uint64_t size) {
    std::string text(name);
    if (!name.empty()) {
        text.push_back('\0');
        text += std::to_string(size);
    }
    std::size_t length = text.size() < kShortBlock ? kShortBlock : kLongBlock;
    if (text.size() >= length) return {};
    std::vector<std::uint8_t> payload(length, 0);
    std::copy(text.begin(), text.end(), payload.begin());
    return payload;
}

std::optional<std::string> ymodemStoredName(std::string_view sentName) {
    std::size_t cut = sentName.find_last_of("/\\");
    std::string_view base = cut == std::string_view::npos ? sentName : sentName.substr(cut + 1);
    if (base.empty() || base == "." || base == "..") return std::nullopt;
    return std::string(base);
}

std::string numberedFileName(const std::string& name, int n) {
    std::string number = " (" + std::to_string(n) + ")";
    std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot == 0) return name + number;
    return name.substr(0, dot) + number + name.substr(dot);
}

// --- the serial device as a byte line

std::size_t SerialDeviceLine::read(void* buffer, std::size_t max, milliseconds wait) {
    Deadline deadline(wait);
    if (!device_.waitReadable(wait)) {
        // It gives up before the wait is over only when the line failed.
        if (!device_.isOpen() || !deadline.expired()) {
            failure_ = device_.isOpen() ? device_.lastError().text : "the line is closed";
            if (failure_.empty()) failure_ = "the line failed";
        }
        return 0;
    }
    std::size_t got = device_.readAvailable(buffer, max);
    if (got == 0) {
        failure_ = device_.lastError().text;
        if (failure_.empty()) failure_ = "the line failed";
    }
    return got;
}

std::size_t SerialDeviceLine::write(const void* data, std::size_t count, milliseconds wait) {
    Deadline deadline(wait);
    std::size_t done = device_.write(data, count, wait);
    if (done < count && (!device_.isOpen() || !deadline.expired())) {
        failure_ = device_.isOpen() ? device_.lastError().text : "the line is closed";
        if (failure_.empty()) failure_ = "the line failed";
    }
    return done;
}

void SerialDeviceLine::purgeInput() {
    // Only the input: output still queued belongs to whoever wrote it before.
    std::array<std::uint8_t, 512> scratch;
    for (int i = 0; i < 256 && device_.readAvailable(scratch.data(), scratch.size()) > 0; ++i) {
    }
}

double SerialDeviceLine::byteTime() const {
    auto settings = device_.lineSettings();
    return settings ? platform::characterTime(*settings) : 0.0;
}

// --- files

YmodemFile YmodemFile::onDisk(const std::string& path, const std::string& name) {
    YmodemFile f;
    f.path = path;
    f.name = name.empty() ? platform::fileNameOf(path) : name;
    return f;
}

YmodemFile YmodemFile::fromBytes(const std::string& name, std::vector<std::uint8_t> bytes) {
    YmodemFile f;
    f.name = name;
    f.bytes = std::move(bytes);
    f.inMemory = true;
    return f;
}

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string errnoText() {
    return platform::SystemError::fromErrno().text;
}

// A file being sent, read block by block.
class Source {
public:
    // False with the reason when it cannot be sent.
    bool open(const YmodemFile& file, std::string& error) {
        file_ = &file;
        offset_ = 0;
        auto name = ymodemStoredName(file.name);
        if (!name) {
            error = "\"" + file.name + "\" is no file name to send";
            return false;
        }
        name_ = *name;
        if (file.inMemory) {
            size_ = file.bytes.size();
            return true;
        }
        platform::SystemError why;
        fp_.reset(platform::openRegularFileStream(file.path, &why));
        if (!fp_) {
            error =
                (why.osCode == EINVAL || why.osCode == EISDIR ? "cannot send " : "cannot open ") +
                file.path + ": " + why.text;
            return false;
        }
        std::error_code ec;
        size_ = std::filesystem::file_size(file.path, ec);
        if (ec) {
            error = "cannot read " + file.path + ": " + ec.message();
            return false;
        }
        return true;
    }
    void close() { fp_.reset(); }
    const std::string& name() const { return name_; }
    std::uint64_t size() const { return size_; }

    bool read(std::uint8_t* out, std::size_t count, std::string& error) {
        if (file_->inMemory) {
            std::memcpy(out, file_->bytes.data() + offset_, count);
        } else if (std::fread(out, 1, count, fp_.get()) != count) {
            error = "cannot read " + file_->path + ": " +
                    (std::ferror(fp_.get()) ? errnoText() : "it became shorter while being sent");
            return false;
        }
        offset_ += count;
        return true;
    }

private:
    const YmodemFile* file_ = nullptr;
    FilePtr fp_{nullptr, &std::fclose};
    std::string name_;
    std::uint64_t size_ = 0, offset_ = 0;
};

// A file being received: a temporary file in the target folder until it is complete, synced
// before it takes its name.
class TempFile {
public:
    bool create(const std::string& folder, std::string& error) {
        folder_ = folder;
        platform::SystemError err;
        if (!file_.beginNew(folder, &err)) {
            error = "cannot create a file in " + folder + ": " + err.text;
            return false;
        }
        return true;
    }

    bool write(const std::uint8_t* data, std::size_t count, std::string& error) {
        platform::SystemError err;
        if (file_.write(data, count, &err)) return true;
        error = "cannot write a file in " + folder_ + ": " + err.text;
        return false;
    }

    // Gives it the first free name of name, "name (1)", ... in folder; never replaces a file.
    std::optional<std::string> publish(const std::string& folder, const std::string& name,
                                       std::string& error) {
        for (int n = 0; n < 10000; ++n) {
            std::string target =
                platform::joinPath(folder, n == 0 ? name : numberedFileName(name, n));
            platform::SystemError err;
            if (file_.commitNew(target, &err)) return target;
            if (err.osCode == EEXIST) continue;
            error = "cannot store " + target + ": " + err.text;
            return std::nullopt;
        }
        error = "no free name for " + name + " in " + folder;
        return std::nullopt;
    }

private:
    platform::DurableFile file_;
    std::string folder_;
};

// --- the line as both sides use it

enum class Got { Byte, Silence, Cancelled, LineFailed };
enum class Answer { Ack, Nak, Crc, PeerCancelled, Silence, Cancelled, LineFailed };

struct Stop {
    YmodemOutcome outcome;
    std::string detail;
};
using Step = std::optional<Stop>;  // nothing: carry on

class Link {
public:
    Link(ByteLine& line, const YmodemOptions& options, const platform::CancelFlag* cancel)
        : line_(line), options_(options), cancel_(cancel), byteTime_(line.byteTime()) {}

    const YmodemOptions& options() const { return options_; }
    int tries() const { return std::max(0, options_.retries) + 1; }
    bool cancelled() const { return cancel_ && cancel_->isSet(); }
    bool heardPeer() const { return heard_; }
    std::string failure() const { return line_.failure(); }

    // The answer time-out (or another wait), counted from when the bytes just written have
    // left the line.
    Deadline answerDeadline(std::size_t justWritten = 0) const {
        return deadlineAfter(options_.answerTimeout, justWritten);
    }
    Deadline deadlineAfter(milliseconds wait, std::size_t justWritten) const {
        auto wire = std::chrono::duration<double>(byteTime_ * double(justWritten));
        return Deadline(wait + std::chrono::ceil<milliseconds>(wire));
    }

    Got byte(std::uint8_t& b, const Deadline& until) {
        for (;;) {
            if (cancelled()) return Got::Cancelled;
            if (pos_ < len_) {
                b = buffer_[pos_++];
                heard_ = true;
                return Got::Byte;
            }
            auto left = std::chrono::ceil<milliseconds>(until.remaining());
            pos_ = 0;
            len_ = line_.read(buffer_.data(), buffer_.size(),
                              std::clamp(left, milliseconds(1), kCancelCheck));
            if (len_ == 0) {
                if (!line_.failure().empty()) return Got::LineFailed;
                if (until.expired()) return Got::Silence;
            }
        }
    }

    // count bytes into out, each within the inter-character time-out of the one before; got
    // says how many came.
    Got fill(std::uint8_t* out, std::size_t count, std::size_t& got) {
        got = 0;
        while (got < count) {
            if (pos_ < len_) {
                std::size_t n = std::min(count - got, len_ - pos_);
                std::memcpy(out + got, buffer_.data() + pos_, n);
                pos_ += n;
                got += n;
                continue;
            }
            Got g = byte(out[got], Deadline(options_.charTimeout));
            if (g != Got::Byte) return g;
            ++got;
        }
        return Got::Byte;
    }

    // The next answer to something we sent; noise and a lone CAN are skipped.
    Answer answer(const Deadline& until) {
        bool can = false;
        for (;;) {
            std::uint8_t b = 0;
            switch (byte(b, until)) {
                case Got::Silence:
                    return Answer::Silence;
                case Got::Cancelled:
                    return Answer::Cancelled;
                case Got::LineFailed:
                    return Answer::LineFailed;
                case Got::Byte:
                    break;
            }
            if (b == kCan) {
                if (can) return Answer::PeerCancelled;
                can = true;
                continue;
            }
            can = false;
            if (b == kAck) return Answer::Ack;
            if (b == kNak) return Answer::Nak;
            if (b == kCrcRequest) return Answer::Crc;
        }
    }

    // Drops input until the line has been quiet for the inter-character time-out (for at most
    // an answer time-out); cancelledByPeer when what it dropped ended in CAN CAN.
    Got drain(bool& cancelledByPeer) {
        Deadline limit = answerDeadline();
        int cans = 0;
        for (;;) {
            std::uint8_t b = 0;
            Got g = byte(b, Deadline(options_.charTimeout));
            if (g == Got::Silence || (g == Got::Byte && limit.expired())) {
                cancelledByPeer = cans >= 2;
                return Got::Silence;
            }
            if (g != Got::Byte) return g;
            cans = b == kCan ? cans + 1 : 0;
        }
    }

    // All bytes, in slices so a stalled line still sees the cancel flag.
    bool send(std::span<const std::uint8_t> bytes) {
        Deadline until = answerDeadline(bytes.size());
        std::size_t done = 0;
        while (done < bytes.size()) {
            if (cancelled() || !line_.failure().empty() || until.expired()) return false;
            auto left = std::chrono::ceil<milliseconds>(until.remaining());
            done += line_.write(bytes.data() + done, bytes.size() - done,
                                std::clamp(left, milliseconds(1), kCancelCheck));
        }
        return true;
    }
    bool send(std::uint8_t b) { return send(std::span<const std::uint8_t>(&b, 1)); }

    void sendCancel() {
        if (line_.failure().empty())
            line_.write(kCancelSequence, sizeof kCancelSequence, options_.charTimeout);
    }

    void purge() {
        pos_ = len_ = 0;
        line_.purgeInput();
    }

    // Drops what has arrived and is no answer to what goes out next; true when it ended in
    // CAN CAN (the peer gave up meanwhile).
    bool dropStale() {
        int cans = 0;
        auto look = [&cans](std::uint8_t b) {
            cans = b == kCan ? cans + 1 : (cans >= 2 ? cans : 0);
        };
        for (; pos_ < len_; ++pos_) look(buffer_[pos_]);
        std::uint8_t pending[256];
        for (int reads = 0; reads < 64; ++reads) {
            std::size_t n = line_.read(pending, sizeof pending, milliseconds(0));
            if (n == 0) break;
            for (std::size_t i = 0; i < n; ++i) look(pending[i]);
        }
        pos_ = len_ = 0;
        return cans >= 2;
    }

    // Drops what arrived before the transfer started, and tells whether a receiver already
    // waiting had asked for it ('C' or NAK) after its last CAN.
    bool purgeKeepingRequest() {
        bool asked = false;
        auto look = [&asked](std::uint8_t b) {
            if (b == ymodem::kCrcRequest || b == ymodem::kNak) asked = true;
            if (b == ymodem::kCan) asked = false;
        };
        for (; pos_ < len_; ++pos_) look(buffer_[pos_]);
        std::uint8_t pending[256];
        for (int reads = 0; reads < 64; ++reads) {
            std::size_t n = line_.read(pending, sizeof pending, milliseconds(0));
            if (n == 0) break;
            for (std::size_t i = 0; i < n; ++i) look(pending[i]);
        }
        purge();
        return asked;
    }

private:
    ByteLine& line_;
    YmodemOptions options_;
    const platform::CancelFlag* cancel_;
    double byteTime_;
    std::array<std::uint8_t, 2 * kLongBlockBytes> buffer_{};
    std::size_t pos_ = 0, len_ = 0;
    bool heard_ = false;
};

// Why a wait ended, for the outcomes every wait shares; nothing for the others.
Step stopFor(Link& link, Answer a, const std::string& peer, const std::string& what) {
    switch (a) {
        case Answer::PeerCancelled:
            return Stop{YmodemOutcome::CancelledByPeer, "the " + peer + " cancelled at " + what};
        case Answer::Cancelled:
            return Stop{YmodemOutcome::Cancelled, "cancelled at " + what};
        case Answer::LineFailed:
            return Stop{YmodemOutcome::LineFailed,
                        "the line failed at " + what + ": " + link.failure()};
        default:
            return std::nullopt;
    }
}

Stop sendFailed(Link& link, const std::string& what) {
    if (link.cancelled()) return {YmodemOutcome::Cancelled, "cancelled at " + what};
    std::string why = link.failure();
    return {YmodemOutcome::LineFailed,
            "the line failed at " + what + ": " + (why.empty() ? "it takes no more bytes" : why)};
}

YmodemResult finish(Link& link, YmodemResult result, Step stop) {
    if (!stop) return result;
    result.outcome = stop->outcome;
    result.detail = std::move(stop->detail);
    // Tell a peer that took part, or that we meant to stop, that the transfer is over.
    bool tell = result.outcome == YmodemOutcome::Cancelled ||
                (link.heardPeer() && result.outcome != YmodemOutcome::LineFailed &&
                 result.outcome != YmodemOutcome::CancelledByPeer);
    if (tell) link.sendCancel();
    return result;
}

// --- sending

class SendRun {
public:
    SendRun(ByteLine& line, const YmodemOptions& options, const platform::CancelFlag* cancel,
            const YmodemProgressFn& progress)
        : link_(line, options, cancel), progress_(progress) {}

    YmodemResult run(const std::vector<YmodemFile>& files) {
        for (const auto& file : files) {
            Source source;
            std::string error;
            if (!source.open(file, error))
                return finish(link_, {}, Stop{YmodemOutcome::FileError, error});
        }
        // A receiver started first has asked already; waiting for its next 'C' would cost
        // seconds.
        const bool asked = link_.purgeKeepingRequest();
        // The receiver starts the batch with 'C'; more of them queued behind it are stale.
        Step stop = asked ? Step{} : awaitRequest(link_.tries(), "the start");
        link_.purge();
        for (std::size_t i = 0; !stop && i < files.size(); ++i) stop = sendFile(i, files[i]);
        if (!stop) stop = endBatch();
        return finish(link_, std::move(result_), std::move(stop));
    }

private:
    // Sends bytes until the receiver ACKs them, at most tries times. With a short wait, no
    // answer within it counts as an ACK.
    Step exchange(std::span<const std::uint8_t> bytes, int tries, const std::string& what,
                  std::optional<milliseconds> shortWait = std::nullopt) {
        bool silent = false;
        for (int attempt = 0; attempt < tries; ++attempt) {
            if (link_.options().strictEnd && link_.dropStale())
                return Stop{YmodemOutcome::CancelledByPeer, "the receiver cancelled at " + what};
            if (!link_.send(bytes)) return sendFailed(link_, what);
            Answer a = link_.answer(shortWait ? link_.deadlineAfter(*shortWait, bytes.size())
                                              : link_.answerDeadline(bytes.size()));
            if (a == Answer::Ack || (a == Answer::Silence && shortWait)) return std::nullopt;
            if (Step stop = stopFor(link_, a, "receiver", what)) return stop;
            silent = a == Answer::Silence;
        }
        if (silent)
            return Stop{YmodemOutcome::TimedOut,
                        "no answer to " + what + " after " + plural(tries, "try", "tries")};
        return Stop{YmodemOutcome::TooManyRetries,
                    "the receiver refused " + what + " " + plural(tries, "time", "times")};
    }

    // Waits for the receiver's 'C' (or NAK) asking for what comes next.
    Step awaitRequest(int tries, const std::string& what) {
        for (int attempt = 0; attempt < tries; ++attempt) {
            Deadline until = link_.answerDeadline();
            for (;;) {
                Answer a = link_.answer(until);
                if (a == Answer::Crc || a == Answer::Nak) return std::nullopt;
                if (a == Answer::Ack) continue;  // a late repeat
                if (a == Answer::Silence) break;
                return stopFor(link_, a, "receiver", what);
            }
        }
        auto waited = link_.options().answerTimeout * tries;
        return Stop{YmodemOutcome::TimedOut, "no request from the receiver for " + what +
                                                 " within " + std::to_string(waited.count()) +
                                                 " ms"};
    }

    // The receiver's 'C' for the next header, which it sends only once it has the file. A NAK
    // meanwhile means it has only now come to the EOT (an early ACK ended its exchange) and
    // NAKs it as the first one: it goes again. Silence is waited out, not answered with
    // another EOT, whose ACK would then pass for that of the closing block.
    Step awaitRequestAfterEot() {
        const std::string what = "the end of the batch";
        const int tries = link_.tries();
        int silent = 0;
        Deadline until = link_.answerDeadline();
        for (int naks = 0; silent < tries && naks < tries;) {
            Answer a = link_.answer(until);
            if (a == Answer::Crc) return std::nullopt;
            // The EOT's ACK, or a late one; a stream of them still ends the wait.
            if (a == Answer::Ack && !until.expired()) continue;
            if (a == Answer::Silence || a == Answer::Ack) {
                ++silent;
                until = link_.answerDeadline();
                continue;
            }
            if (a != Answer::Nak) return stopFor(link_, a, "receiver", what);
            ++naks;
            if (link_.dropStale())
                return Stop{YmodemOutcome::CancelledByPeer, "the receiver cancelled at " + what};
            if (!link_.send(kEot)) return sendFailed(link_, what);
            until = link_.answerDeadline(1);
        }
        if (silent < tries)
            return Stop{YmodemOutcome::TooManyRetries, "the receiver refused the end of the file " +
                                                           plural(tries, "time", "times")};
        auto waited = link_.options().answerTimeout * tries;
        return Stop{YmodemOutcome::TimedOut, "no request from the receiver for " + what +
                                                 " within " + std::to_string(waited.count()) +
                                                 " ms"};
    }

    void report(std::size_t index, const std::string& name, std::uint64_t done,
                std::uint64_t total) {
        if (progress_) progress_(YmodemProgress{index, name, done, total});
    }

    Step sendFile(std::size_t index, const YmodemFile& file) {
        Source source;
        std::string error;
        if (!source.open(file, error)) return Stop{YmodemOutcome::FileError, error};
        const std::string& name = source.name();
        const std::uint64_t size = source.size();
        auto header = buildYmodemHeader(name, size);
        if (header.empty())
            return Stop{YmodemOutcome::FileError, "the name " + name + " is too long to send"};
        int tries = link_.tries();
        // The first file's request was the start; each later one is asked for after the EOT.
        if (index > 0)
            if (Step stop = awaitRequest(tries, "the header of " + name)) return stop;
        report(index, name, 0, size);
        if (Step stop = exchange(buildYmodemBlock(0, header), tries, "the header of " + name))
            return stop;
        if (Step stop = awaitRequest(tries, "the data of " + name)) return stop;

        std::array<std::uint8_t, kLongBlock> payload;
        std::array<std::uint8_t, kLongBlockBytes> block;
        std::uint64_t sent = 0;
        for (std::uint64_t number = 1; sent < size; ++number) {
            std::size_t count =
                static_cast<std::size_t>(std::min<std::uint64_t>(kLongBlock, size - sent));
            if (!source.read(payload.data(), count, error))
                return Stop{YmodemOutcome::FileError, error};
            std::fill(payload.begin() + static_cast<std::ptrdiff_t>(count), payload.end(), kSub);
            fillBlock(block.data(), static_cast<std::uint8_t>(number), payload);
            std::string what = "block " + std::to_string(number) + " of " + name;
            if (Step stop = exchange(block, tries, what)) return stop;
            sent += count;
            report(index, name, sent, size);
        }
        source.close();
        // The receiver NAKs the first EOT to make sure it was no noise: one more try for it.
        if (Step stop = exchange(std::span(&kEot, 1), tries + 1, "the end of " + name)) return stop;
        result_.files.push_back({name, file.inMemory ? std::string() : file.path, size});
        return std::nullopt;
    }

    // The empty block 0. Every file is through by now, so a receiver that never asks for it
    // or never answers it still leaves the batch done; and as lrzsz's rz may exit before its
    // ACK of it is out, it gets only as long as a NAK of a damaged block would take.
    Step endBatch() {
        if (link_.options().strictEnd) {
            if (Step stop = awaitRequestAfterEot()) return stop;
            return exchange(buildYmodemBlock(0, buildYmodemHeader({}, 0)), link_.tries(),
                            "the end of the batch");
        }
        Step asked = awaitRequest(1, "the end of the batch");
        if (asked && asked->outcome == YmodemOutcome::TimedOut) return std::nullopt;
        if (asked) return asked;
        auto last = buildYmodemBlock(0, buildYmodemHeader({}, 0));
        return exchange(last, link_.tries(), "the end of the batch",
                        2 * link_.options().charTimeout);
    }

    Link link_;
    const YmodemProgressFn& progress_;
    YmodemResult result_;
};

// --- receiving

class ReceiveRun {
public:
    ReceiveRun(ByteLine& line, const YmodemOptions& options, const platform::CancelFlag* cancel,
               const YmodemProgressFn& progress)
        : link_(line, options, cancel), progress_(progress) {}

    YmodemResult run(const std::string& folder) {
        folder_ = folder;
        if (!platform::isDirectory(folder))
            return finish(
                link_, {},
                Stop{YmodemOutcome::FileError, "the folder " + folder + " does not exist"});
        link_.purge();
        Step stop;
        for (std::size_t index = 0; !stop; ++index) {
            YmodemHeader header;
            stop = awaitHeader(index, header);
            if (stop) break;
            if (header.endsBatch()) {
                if (!link_.send(kAck)) stop = sendFailed(link_, "the end of the batch");
                break;
            }
            stop = receiveFile(index, header);
        }
        return finish(link_, std::move(result_), std::move(stop));
    }

private:
    struct Incoming {
        enum Kind { Block, EndOfFile, Damaged, PeerCancelled, Silence, Cancelled, LineFailed } kind;
        YmodemBlock block;
    };

    // The next block (or EOT) the sender sends; noise between blocks is skipped.
    Incoming next(const Deadline& firstByte) {
        bool can = false;
        for (;;) {
            std::uint8_t b = 0;
            switch (link_.byte(b, firstByte)) {
                case Got::Silence:
                    return {Incoming::Silence, {}};
                case Got::Cancelled:
                    return {Incoming::Cancelled, {}};
                case Got::LineFailed:
                    return {Incoming::LineFailed, {}};
                case Got::Byte:
                    break;
            }
            if (b == kCan) {
                if (can) return {Incoming::PeerCancelled, {}};
                can = true;
                continue;
            }
            can = false;
            if (b == kEot) return {Incoming::EndOfFile, {}};
            std::size_t length = ymodemBlockLength(b);
            if (length == 0) continue;
            raw_[0] = b;
            std::size_t got = 0;
            Got g = link_.fill(raw_.data() + 1, length - 1, got);
            if (g == Got::Cancelled) return {Incoming::Cancelled, {}};
            if (g == Got::LineFailed) return {Incoming::LineFailed, {}};
            // A sender that gives up in the middle of a block ends it with CANs.
            if (g == Got::Silence && got >= 2 && raw_[got] == kCan && raw_[got - 1] == kCan)
                return {Incoming::PeerCancelled, {}};
            YmodemBlock block = parseYmodemBlock(std::span(raw_.data(), got + 1));
            return {block.intact() ? Incoming::Block : Incoming::Damaged, block};
        }
    }

    // What every wait for the sender shares; nothing for a block, an EOT, silence or damage.
    Step stopFor(Incoming::Kind kind, const std::string& what) {
        switch (kind) {
            case Incoming::PeerCancelled:
                return serial::stopFor(link_, Answer::PeerCancelled, "sender", what);
            case Incoming::Cancelled:
                return serial::stopFor(link_, Answer::Cancelled, "sender", what);
            case Incoming::LineFailed:
                return serial::stopFor(link_, Answer::LineFailed, "sender", what);
            default:
                return std::nullopt;
        }
    }

    // Lets a damaged block's rest go by before asking again.
    Step skipDamage(const std::string& what) {
        bool peerCancelled = false;
        Got g = link_.drain(peerCancelled);
        if (peerCancelled) return stopFor(Incoming::PeerCancelled, what);
        if (g == Got::Cancelled) return stopFor(Incoming::Cancelled, what);
        if (g == Got::LineFailed) return stopFor(Incoming::LineFailed, what);
        return std::nullopt;
    }

    Stop gaveUp(bool silent, int tries, const std::string& what) {
        if (silent)
            return {YmodemOutcome::TimedOut,
                    "nothing came for " + what + " after " + plural(tries, "request", "requests")};
        return {YmodemOutcome::TooManyRetries,
                what + " came damaged " + plural(tries, "time", "times")};
    }

    // Asks for block 0 with 'C' until it comes.
    Step awaitHeader(std::size_t index, YmodemHeader& header) {
        std::string what =
            index == 0 ? "the start" : "the header of file " + std::to_string(index + 1);
        std::uint8_t ask = kCrcRequest;
        bool silent = true;
        for (int attempt = 0; attempt < link_.tries(); ++attempt) {
            if (!link_.send(ask)) return sendFailed(link_, what);
            Incoming in = next(link_.answerDeadline(1));
            if (Step stop = stopFor(in.kind, what)) return stop;
            silent = in.kind == Incoming::Silence;
            ask = kCrcRequest;
            if (in.kind == Incoming::EndOfFile) {
                // The sender missed our ACK of the last file's end.
                if (!link_.send(kAck)) return sendFailed(link_, what);
            } else if (in.kind == Incoming::Damaged) {
                if (Step stop = skipDamage(what)) return stop;
                ask = kNak;
            } else if (in.kind == Incoming::Block) {
                if (in.block.number != 0)
                    return Stop{
                        YmodemOutcome::ProtocolError,
                        "block " + std::to_string(in.block.number) +
                            " came before any file name: the sender speaks XMODEM, not YMODEM"};
                std::string error;
                auto parsed = parseYmodemHeader(in.block.payload, &error);
                if (!parsed)
                    return Stop{
                        YmodemOutcome::BadHeader,
                        "unreadable header of file " + std::to_string(index + 1) + ": " + error};
                header = std::move(*parsed);
                return std::nullopt;
            }
        }
        return gaveUp(silent, link_.tries(), what);
    }

    void report(std::size_t index, const std::string& name, std::uint64_t done,
                std::uint64_t total) {
        if (progress_) progress_(YmodemProgress{index, name, done, total});
    }

    Step receiveFile(std::size_t index, const YmodemHeader& header) {
        const std::string& name = header.name;
        auto stored = ymodemStoredName(name);
        if (!stored)
            return Stop{YmodemOutcome::BadHeader, "refused the file name \"" + name + "\""};
        TempFile file;
        std::string error;
        if (!file.create(folder_, error)) return Stop{YmodemOutcome::FileError, error};
        const std::uint8_t ackAndAsk[] = {kAck, kCrcRequest};
        if (!link_.send(ackAndAsk)) return sendFailed(link_, "the header of " + name);
        report(index, name, 0, header.size.value_or(0));

        std::uint64_t written = 0;
        std::size_t heldSubs = 0;  // without a size: SUBs that may be the last block's padding
        std::uint64_t number = 1;  // the block due, counted on past 255
        bool endSeen = false;
        bool silent = false;
        int failures = 0;
        for (;;) {
            std::string what =
                endSeen ? "the end of " + name : "block " + std::to_string(number) + " of " + name;
            Incoming in = next(link_.answerDeadline(1));
            if (Step stop = stopFor(in.kind, what)) return stop;
            std::uint8_t answer = kNak;
            if (in.kind == Incoming::Block) {
                auto due = static_cast<std::uint8_t>(number);
                if (in.block.number == due) {
                    if (!store(file, header, in.block.payload, written, heldSubs, error))
                        return Stop{YmodemOutcome::FileError, error};
                    ++number;
                    failures = 0;
                    endSeen = false;
                    report(index, name, written, header.size.value_or(0));
                } else if (in.block.number != static_cast<std::uint8_t>(due - 1)) {
                    return Stop{YmodemOutcome::ProtocolError,
                                "block " + std::to_string(in.block.number) + " came where block " +
                                    std::to_string(due) + " of " + name + " was due"};
                }
                // A repeat of the block before (the sender missed our ACK) is dropped; a
                // repeated block 0 also wants its 'C' again.
                if (!link_.send(kAck)) return sendFailed(link_, what);
                if (number == 1 && !link_.send(kCrcRequest)) return sendFailed(link_, what);
                continue;
            }
            if (in.kind == Incoming::EndOfFile) {
                if (endSeen) break;
                endSeen = true;  // NAKed once, so line noise cannot end the file
            } else if (in.kind == Incoming::Damaged) {
                if (Step stop = skipDamage(what)) return stop;
                silent = false;
                ++failures;
            } else {                                    // silence
                if (number == 1) answer = kCrcRequest;  // our 'C' may have gone astray
                silent = true;
                ++failures;
            }
            if (failures >= link_.tries()) return gaveUp(silent, failures, what);
            if (!link_.send(answer)) return sendFailed(link_, what);
        }

        if (header.size && written < *header.size)
            return Stop{YmodemOutcome::ProtocolError, name + " ended after " +
                                                          std::to_string(written) + " of " +
                                                          std::to_string(*header.size) + " bytes"};
        auto path = file.publish(folder_, *stored, error);
        if (!path) return Stop{YmodemOutcome::FileError, error};
        result_.files.push_back({name, *path, written});
        if (!link_.send(kAck)) return sendFailed(link_, "the end of " + name);
        return std::nullopt;
    }

    // Keeps what belongs to the file: up to the size from block 0, or without a size all but
    // the SUBs that end the data.
    static bool store(TempFile& file, const YmodemHeader& header,
                      std::span<const std::uint8_t> payload, std::uint64_t& written,
                      std::size_t& heldSubs, std::string& error) {
        if (header.size) {
            auto count = static_cast<std::size_t>(
                std::min<std::uint64_t>(payload.size(), *header.size - written));
            written += count;
            return file.write(payload.data(), count, error);
        }
        std::size_t end = payload.size();
        while (end > 0 && payload[end - 1] == kSub) --end;
        if (end > 0) {
            static constexpr std::array<std::uint8_t, kLongBlock> subs = [] {
                std::array<std::uint8_t, kLongBlock> a{};
                a.fill(kSub);
                return a;
            }();
            while (heldSubs > 0) {
                std::size_t n = std::min(heldSubs, subs.size());
                if (!file.write(subs.data(), n, error)) return false;
                written += n;
                heldSubs -= n;
            }
            if (!file.write(payload.data(), end, error)) return false;
            written += end;
        }
        heldSubs += payload.size() - end;
        return true;
    }

    Link link_;
    const YmodemProgressFn& progress_;
    std::string folder_;
    YmodemResult result_;
    std::array<std::uint8_t, kLongBlockBytes> raw_{};
};

}  // namespace

YmodemResult YmodemSender::sendBatch(const std::vector<YmodemFile>& files) {
    return SendRun(line_, options_, cancel_, progress_).run(files);
}

YmodemResult YmodemReceiver::receiveBatch(const std::string& folder) {
    return ReceiveRun(line_, options_, cancel_, progress_).run(folder);
}

}  // namespace serial
