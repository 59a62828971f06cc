// Flash ROM writing through the ASCII monitor of a device in its bootstrap state (RsBkSize 2).
//
// Monitor commands are ASCII with capital hex digits and no terminator (DeviceType 2 adds one
// LF); the monitor echoes the command and answers with '/' (word read: four hex digits, then
// '/'); DeviceType 2 sends two more bytes after that. Flash sectors (64 KiB) are erased with the
// JEDEC sequence and polled on DQ6 until it stops toggling, then programmed word by word in
// chunks of 1024 words; at most 32 sectors are written per command.
//
// Before each command whatever is still queued from an earlier, unanswered one is dropped, so
// a late byte never passes for the answer to the next command.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "download/engine/download_job.h"
#include "download/engine/image_file.h"

namespace kolvane {

constexpr std::size_t kChunkBytes = 2048;  // 1024 words, one log line
// An erase has settled when bit 6 read the same this many times in a row.
constexpr int kEraseSettleReads = 10;
// An erase that has not settled after this many status reads counts as timed out. A read
// takes 25 characters on the line: about 17 s at 57600 baud and 26 s at 38400, more than the
// longest sector erase of common word-wide flash parts (about 15 s).
constexpr int kErasePollLimit = 4096;
// Unanswered erase polls in a row that end the erase as not settled.
constexpr int kUnansweredPollLimit = 3;

std::string wordWriteCommand(std::uint32_t address, std::uint16_t value);  // "%08X42%04X"
std::string wordReadCommand(std::uint32_t address);                        // "%08X62"
std::string longWriteCommand(std::uint32_t address, std::uint32_t value);  // "%08XC4%08X"
// The value in bytes 10..13 of a 15-byte word-read answer; nothing when they are not hex.
std::optional<std::uint16_t> parseWordReadReply(const std::uint8_t* reply, std::size_t count);

struct LongWrite {
    std::uint32_t address;
    std::uint32_t value;
    bool operator==(const LongWrite&) const = default;
};
// The target set-up: long writes before the RAM check, and (DeviceType 0 and 1) after it.
std::vector<LongWrite> setupBeforeRamCheck(int deviceType);
std::vector<LongWrite> setupAfterRamCheck(int deviceType);
std::uint32_t ramCheckAddress(int deviceType);

// DQ6 toggle poll: feed status words; true once bit 6 has stayed the same kEraseSettleReads
// times in a row.
class ToggleSettle {
public:
    bool feed(std::uint16_t status);

private:
    std::uint16_t value_ = 0;
    int same_ = 0;
};

// The image cut into flash sectors from A0 on: up to 64 KiB each, at most 32.
struct FlashSector {
    std::uint32_t address = 0;
    Bytes data;
};
class FlashSectors {
public:
    FlashSectors(ImageReader& image, std::uint32_t startAddress)
        : image_(image), next_(startAddress) {}
    // False when the image is exhausted or 32 sectors were handed out.
    bool next(FlashSector& sector);

private:
    ImageReader& image_;
    std::uint32_t next_;
    int handed_ = 0;
};

// The 1024 words of the chunk at offset of a sector; past the data every word is 0xFFFF.
std::vector<std::uint16_t> chunkWords(const Bytes& sectorData, std::size_t offset, int endianType);

// Write flash: 1 when all sectors were handled, 0 when the line could not be opened or was
// lost, or the cancel flag was seen.
int writeFlash(const DownloadJob& job, ImageReader& image, std::uint32_t startAddress);

}  // namespace kolvane
