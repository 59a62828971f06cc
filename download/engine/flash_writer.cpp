#include "download/engine/flash_writer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

#include "download/engine/debug_output.h"

namespace kolvane {

using namespace std::chrono_literals;

namespace {

std::string hex8(std::uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(v));
    return buf;
}

std::string hex4(std::uint16_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%04X", static_cast<unsigned>(v));
    return buf;
}

// One conversation with the monitor. After the line is lost or the cancel flag is seen every
// command returns at once and stopped() tells why.
class Monitor {
public:
    Monitor(const DownloadJob& job) : job_(job), lf_(job.settings.DeviceType == 2) {}

    bool stopped() const { return stop_ != WaitResult::Done; }
    bool lost() const { return stop_ == WaitResult::Failed; }

    bool synchronise() {
        ReplyWatch watch(job_);
        for (;;) {
            watch.check();
            if (job_.cancel.isSet()) return halt(WaitResult::Cancelled);
            job_.line.discardInput();
            WaitResult w = job_.line.write("A", 1);
            if (w != WaitResult::Done && w != WaitResult::TimedOut) return halt(w);
            std::uint8_t c = 0;
            WaitResult r = job_.line.read(&c, 1, 300ms);
            if (r == WaitResult::Done && c == ':') return true;
            if (r == WaitResult::Cancelled || r == WaitResult::Failed) return halt(r);
        }
    }

    bool wordWrite(std::uint32_t address, std::uint16_t value) {
        return command(wordWriteCommand(address, value), 50ms);
    }
    bool longWrite(std::uint32_t address, std::uint32_t value) {
        return command(longWriteCommand(address, value), 100ms);
    }

    // Nothing when no answer came or it held no value: a read without an answer tells
    // nothing about the flash.
    std::optional<std::uint16_t> wordRead(std::uint32_t address) {
        if (!send(wordReadCommand(address))) return std::nullopt;
        std::uint8_t reply[15];
        WaitResult r = job_.line.read(reply, sizeof reply, 200ms);
        if (r == WaitResult::Done) {
            auto v = parseWordReadReply(reply, sizeof reply);
            if (lf_) extraBytes(200ms);
            return v;
        }
        if (r != WaitResult::TimedOut) halt(r);
        return std::nullopt;
    }

    // Reads what is still coming until nothing has come for quiet.
    void awaitQuiet(std::chrono::milliseconds quiet) {
        std::uint8_t c = 0;
        for (int i = 0; i < 256 && !stopped(); ++i) {
            WaitResult r = job_.line.read(&c, 1, quiet);
            if (r == WaitResult::TimedOut) return;
            if (r != WaitResult::Done) halt(r);
        }
    }

private:
    bool halt(WaitResult why) {
        if (!stopped()) stop_ = why;
        return false;
    }

    bool send(const std::string& text) {
        if (stopped()) return false;
        job_.line.discardInput();
        std::string out = lf_ ? text + "\n" : text;
        WaitResult w = job_.line.write(out.data(), out.size());
        if (w == WaitResult::Cancelled || w == WaitResult::Failed) return halt(w);
        return true;
    }

    // Scans the echo for '/': as many bytes as the command has characters and one more, each
    // awaited at most perByte. A read that brings nothing scans no byte, so a moment's stall
    // of this computer does not cost the '/' at the echo's end; as many empty reads as bytes
    // to scan say the device is silent, in the time that always took.
    bool command(const std::string& text, std::chrono::milliseconds perByte) {
        if (!send(text)) return false;
        const std::size_t limit = text.size() + 1;
        for (std::size_t scanned = 0, empty = 0; scanned < limit && empty < limit;) {
            std::uint8_t c = 0;
            WaitResult r = job_.line.read(&c, 1, perByte);
            if (r == WaitResult::Cancelled || r == WaitResult::Failed) return halt(r);
            if (r != WaitResult::Done) {
                ++empty;
                continue;
            }
            ++scanned;
            if (c == '/') {
                if (lf_) extraBytes(20ms);
                return true;
            }
        }
        return false;
    }

    void extraBytes(std::chrono::milliseconds wait) {
        std::uint8_t two[2];
        WaitResult r = job_.line.read(two, 2, wait);
        if (r == WaitResult::Cancelled || r == WaitResult::Failed) halt(r);
    }

    const DownloadJob& job_;
    const bool lf_;
    WaitResult stop_ = WaitResult::Done;
};

bool eraseSector(const DownloadJob& job, Monitor& m, std::uint32_t base, std::uint32_t sector) {
    m.wordWrite(base + 0xAAA, 0xAA);
    m.wordWrite(base + 0x554, 0x55);
    m.wordWrite(base + 0xAAA, 0x80);
    m.wordWrite(base + 0xAAA, 0xAA);
    m.wordWrite(base + 0x554, 0x55);
    m.wordWrite(sector, 0x30);
    if (!job.cancel.pause(500ms)) return false;
    ToggleSettle settle;
    int unanswered = 0;
    for (int i = 0; i < kErasePollLimit && !m.stopped(); ++i) {
        auto status = m.wordRead(base);
        if (!status) {
            // An unanswered poll says nothing has settled. Its reply may still be on its way:
            // the line goes quiet before the next poll, so that reply is not read for the
            // next one's. Polls unanswered in a row say the device is silent.
            if (++unanswered == kUnansweredPollLimit) return false;
            m.awaitQuiet(50ms);
            continue;
        }
        unanswered = 0;
        if (settle.feed(*status)) return true;
    }
    return false;
}

// A chunk with an unacknowledged command has failed; the rest of it is not sent, so a device
// that stopped answering costs seconds, not an hour of unanswered words.
bool programChunk(Monitor& m, std::uint32_t base, std::uint32_t address,
                  const std::vector<std::uint16_t>& words) {
    for (std::size_t i = 0; i < words.size() && !m.stopped(); ++i) {
        bool acknowledged = m.wordWrite(base + 0xAAA, 0xAA) && m.wordWrite(base + 0x554, 0x55) &&
                            m.wordWrite(base + 0xAAA, 0xA0) &&
                            m.wordWrite(address + static_cast<std::uint32_t>(2 * i), words[i]);
        if (!acknowledged) return false;
    }
    return !m.stopped();
}

std::string readResult(std::uint32_t address, std::optional<std::uint16_t> value) {
    return hex8(address) + ":" + (value ? hex4(*value) : std::string("no answer"));
}

}  // namespace

std::string wordWriteCommand(std::uint32_t address, std::uint16_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08X42%04X", static_cast<unsigned>(address),
                  static_cast<unsigned>(value));
    return buf;
}

std::string wordReadCommand(std::uint32_t address) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08X62", static_cast<unsigned>(address));
    return buf;
}

std::string longWriteCommand(std::uint32_t address, std::uint32_t value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%08XC4%08X", static_cast<unsigned>(address),
                  static_cast<unsigned>(value));
    return buf;
}

std::optional<std::uint16_t> parseWordReadReply(const std::uint8_t* reply, std::size_t count) {
    if (count < 14) return std::nullopt;
    unsigned value = 0;
    for (std::size_t i = 10; i < 14; ++i) {
        std::uint8_t c = reply[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return std::nullopt;
        value = value << 4 | digit;
    }
    return static_cast<std::uint16_t>(value);
}

std::vector<LongWrite> setupBeforeRamCheck(int deviceType) {
    if (deviceType == 2) return {{0xBFFFFF00, 0x00000000}};
    const bool z7b = deviceType == 1;
    std::vector<LongWrite> w;
    w.push_back({0x00221000, z7b ? 0x91020200u : 0x90020200u});
    w.push_back({0x08000000, 0x00000000});
    w.push_back({0x00221000, z7b ? 0xA1020200u : 0xA0020200u});
    for (int i = 0; i < 9; ++i) w.push_back({0x08000000, 0x00000000});
    w.push_back({0x00221000, z7b ? 0xB1020200u : 0xB0020200u});
    w.push_back({0x08088C00, 0x00000000});
    w.push_back({0x00221000, z7b ? 0x81027264u : 0x8002B264u});
    w.push_back({0x0021B000, 0x2F00AC03});
    return w;
}

std::vector<LongWrite> setupAfterRamCheck(int deviceType) {
    if (deviceType == 2) return {};
    return {{0x00220000, 0x00004904}, {0x00220004, 0x80080D01}, {0x00220020, 0x00001000},
            {0x00220024, 0x00110701}, {0x00220028, 0x00004C04}, {0x0022002C, 0x404A0F01}};
}

std::uint32_t ramCheckAddress(int deviceType) {
    return deviceType == 2 ? 0xA0000000u : 0x08000000u;
}

bool ToggleSettle::feed(std::uint16_t status) {
    const std::uint16_t bit = status & 0x40;
    if (bit == value_) {
        ++same_;
    } else {
        value_ = bit;
        same_ = 0;
    }
    return same_ >= kEraseSettleReads;
}

bool FlashSectors::next(FlashSector& sector) {
    if (handed_ >= kMaxSectorsPerCommand) return false;
    sector.data.assign(kSectorSize, kFillByte);
    std::size_t n = image_.readSectorData(sector.data.data(), kSectorSize);
    if (n == 0) return false;
    sector.data.resize(n);
    sector.address = next_;
    next_ += static_cast<std::uint32_t>(kSectorSize);
    ++handed_;
    return true;
}

std::vector<std::uint16_t> chunkWords(const Bytes& data, std::size_t offset, int endianType) {
    std::vector<std::uint16_t> words(kChunkBytes / 2);
    auto byteAt = [&](std::size_t i) { return i < data.size() ? data[i] : kFillByte; };
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = wordValue(byteAt(offset + 2 * i), byteAt(offset + 2 * i + 1), endianType);
    return words;
}

int writeFlash(const DownloadJob& job, ImageReader& image, std::uint32_t startAddress) {
    const int deviceType = job.settings.DeviceType;
    const std::uint32_t base = flashBase(deviceType);
    if (!job.openLine(monitorBaudRate(deviceType))) return 0;
    Monitor m(job);
    auto ended = [&] {
        if (m.lost()) return job.lineLost();
        return job.cancel.isSet() ? job.cancelledAt(0) : 0;
    };

    if (!m.synchronise()) return ended();

    // Target set-up; the acknowledgements tell nothing here, the logged reads do.
    for (const LongWrite& w : setupBeforeRamCheck(deviceType)) m.longWrite(w.address, w.value);
    const std::uint32_t ram = ramCheckAddress(deviceType);
    m.wordWrite(ram, 0x1234);
    auto ramValue = m.wordRead(ram);
    if (m.stopped()) return ended();
    job.log(readResult(ram, ramValue));
    for (const LongWrite& w : setupAfterRamCheck(deviceType)) m.longWrite(w.address, w.value);
    auto flashValue = m.wordRead(base);
    if (m.stopped()) return ended();
    job.log(readResult(base, flashValue));

    const std::uint64_t total =
        std::min<std::uint64_t>(image.size(), kMaxSectorsPerCommand * kSectorSize);
    std::uint64_t done = 0;
    int lastPercent = -1;
    int chunks = 0, failed = 0;
    FlashSectors sectors(image, startAddress);
    FlashSector sector;
    for (;;) {
        if (job.cancel.isSet()) return job.cancelledAt(chunks);
        if (!sectors.next(sector)) break;
        bool erased = eraseSector(job, m, base, sector.address);
        if (job.cancel.isSet()) return job.cancelledAt(chunks);
        if (m.stopped()) return ended();
        job.log(hex8(sector.address) + (erased ? ":From erase success" : ":From erase time out"));
        for (std::size_t offset = 0; offset < sector.data.size(); offset += kChunkBytes) {
            if (job.cancel.isSet()) return job.cancelledAt(chunks);
            const std::uint32_t address = sector.address + static_cast<std::uint32_t>(offset);
            bool acknowledged = programChunk(
                m, base, address, chunkWords(sector.data, offset, job.settings.EndianType));
            if (job.cancel.isSet()) return job.cancelledAt(chunks);
            if (m.stopped()) return ended();
            job.log(hex8(address) +
                    (acknowledged ? ":From pokew success" : ":From pokew time out"));
            // A chunk in a sector that was not erased holds what the old contents let through.
            ++chunks;
            if (!acknowledged || !erased) ++failed;
            done += std::min<std::uint64_t>(kChunkBytes, sector.data.size() - offset);
            int percent = total ? static_cast<int>(done * 100 / total) : 100;
            if (job.progress && percent != lastPercent) job.progress(lastPercent = percent);
        }
    }
    job.log("");
    if (failed > 0) {
        job.log("From Write failure: " + std::to_string(failed) + " of " + std::to_string(chunks) +
                " chunks not written");
        return 0;
    }
    job.log("All From Write success");
    return 1;
}

}  // namespace kolvane
