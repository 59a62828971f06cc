// Firmware files: which format a file is in, and whether it is whole, before the installer sends
// a byte of it to a scanner.
//
// Three formats: Intel HEX, Motorola S-records and raw binary. ".bin" is always binary. Otherwise
// a text of record lines (its first non-blank character ':' or 'S' and a digit, no control
// bytes but line ends, tabs and blanks) is records whatever its name, so a broken one is
// refused rather than sent as bytes; other content goes by the extension, and a name without a
// known one is binary.
// A HEX or S-record file is checked completely (every character, every byte count, every
// checksum, the records each type needs, the end record and nothing after it, at least one
// data byte); the first fault found ends the check and is reported with its 1-based line number
// and a short text. Everything here works on bytes in memory, throws nothing and reads nothing
// past its input, so any input may be given to it; the caller reads the file (refusing one
// larger than kMaxFirmwareFileSize) and words the outcome with describeProblem.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fenwald {

enum class FirmwareFormat { IntelHex, SRecords, Binary };

// The longest record line accepted; the longest valid records are 521 (HEX) and 514 (S-record)
// characters.
constexpr std::size_t kMaxRecordLineLength = 600;
// Larger files are not firmware for these scanners; checkFirmware refuses them too.
constexpr std::uint64_t kMaxFirmwareFileSize = 64 * 1024 * 1024;

// One Intel HEX record: ":" LL AAAA TT data CC.
struct IntelHexRecord {
    std::uint8_t type = 0;
    std::uint16_t address = 0;
    std::uint8_t size = 0;  // data bytes, LL
    std::array<std::uint8_t, 255> data{};
};
// Intel HEX record types.
constexpr std::uint8_t kHexData = 0x00;
constexpr std::uint8_t kHexEndOfFile = 0x01;
constexpr std::uint8_t kHexExtendedSegmentAddress = 0x02;
constexpr std::uint8_t kHexStartSegmentAddress = 0x03;
constexpr std::uint8_t kHexExtendedLinearAddress = 0x04;
constexpr std::uint8_t kHexStartLinearAddress = 0x05;

// One Motorola S-record: "S" type count address data checksum.
struct SRecord {
    int type = 0;               // the digit after 'S'
    std::uint32_t address = 0;  // 2, 3 or 4 bytes as the type has it
    std::uint8_t size = 0;      // data bytes after the address
    std::array<std::uint8_t, 255> data{};
};

template <typename Record>
struct RecordParse {
    bool ok = false;
    std::string problem;  // when !ok, e.g. "bad checksum (expected 3C, found 3D)"
    Record record;
};

// One record line without its line end and trailing blanks (checkFirmware strips those). A
// record passes when its characters, length, checksum and type (with the data length the type
// needs) are right; what it means in the file (addresses, order) is checkFirmware's part.
RecordParse<IntelHexRecord> parseIntelHexRecord(std::string_view line);
RecordParse<SRecord> parseSRecord(std::string_view line);

struct FirmwareCheck {
    bool ok = false;
    FirmwareFormat format = FirmwareFormat::Binary;
    std::size_t line = 0;              // 1-based line of the fault; 0 when it belongs to no line
    std::string problem;               // what is wrong, empty when ok
    std::uint64_t dataBytes = 0;       // bytes of the image (data records' data, or the file)
    std::uint32_t lowestAddress = 0;   // of the image's first and last byte; a binary file
    std::uint32_t highestAddress = 0;  // counts from 0
    std::size_t records = 0;           // records of every type; 0 for a binary file
};

// ".bin" binary, in any case. A text of record lines: Intel HEX when its first non-blank
// character is ':', S-records when it is 'S' and a digit. Otherwise ".hex" Intel HEX; ".s19",
// ".s28", ".s37", ".s2", ".s32", ".srec", ".mot" S-records (in any case); any other name binary.
FirmwareFormat formatFor(std::string_view fileName, std::span<const std::uint8_t> content);

// The format formatFor gives, then that format's check. An empty file is refused in every
// format.
FirmwareCheck checkFirmware(std::string_view fileName, std::span<const std::uint8_t> content);

// "firmware.hex line 12: bad checksum (expected 3C, found 3D)", or without " line N" for a
// fault of the whole file; the file is named by its base name. Empty when the check passed.
std::string describeProblem(const FirmwareCheck& check, std::string_view path);

}  // namespace fenwald
