#include "installer/engine/firmware_file.h"

#include <optional>
#include <utility>

namespace fenwald {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string hexByte(unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    return {kDigits[(value >> 4) & 0xF], kDigits[value & 0xF]};
}

// A printable character in quotes, anything else as its byte value, so a message never carries
// control bytes or half a UTF-8 sequence.
std::string shownCharacter(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u > 0x20 && u < 0x7F) return std::string("'") + c + "'";
    return "0x" + hexByte(u);
}

// Empty when every character from `from` on is a hex digit.
std::string nonHexProblem(std::string_view line, std::size_t from) {
    for (std::size_t i = from; i < line.size(); ++i) {
        if (hexValue(line[i]) < 0)
            return "non-hex character " + shownCharacter(line[i]) + " in column " +
                   std::to_string(i + 1);
    }
    return {};
}

// The byte whose two digits start at pos; the caller has checked they are there and are hex.
std::uint8_t byteAt(std::string_view line, std::size_t pos) {
    return static_cast<std::uint8_t>(hexValue(line[pos]) << 4 | hexValue(line[pos + 1]));
}

std::string lengthProblem(std::size_t found, std::size_t needed, std::string_view field,
                          std::uint8_t value) {
    return std::string(found < needed ? "record too short" : "record too long") + " (" +
           std::string(field) + " " + hexByte(value) + " needs " + std::to_string(needed) +
           " characters, found " + std::to_string(found) + ")";
}

std::string tooShort(std::size_t found, std::size_t needed) {
    return "record too short (" + std::to_string(found) + " characters, at least " +
           std::to_string(needed) + " needed)";
}

std::string checksumProblem(std::uint8_t expected, std::uint8_t found) {
    return "bad checksum (expected " + hexByte(expected) + ", found " + hexByte(found) + ")";
}

const std::string kLineTooLong =
    "line longer than " + std::to_string(kMaxRecordLineLength) + " characters";

// The lines of a text file: LF or CR LF ends, trailing blanks dropped.
class Lines {
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t end = text_.find('\n', pos_);
        const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(pos_, stop - pos_);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
            line.remove_suffix(1);
        pos_ = stop + 1;
        ++number_;
        return true;
    }
    std::size_t number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t number_ = 0;
};

// Where the image's bytes lie, from the ranges of its records.
struct Extent {
    bool any = false;
    std::uint32_t lowest = 0;
    std::uint32_t highest = 0;

    void add(std::uint32_t first, std::uint32_t last) {
        if (!any || first < lowest) lowest = first;
        if (!any || last > highest) highest = last;
        any = true;
    }
};

constexpr std::uint64_t kTopAddress = 0xFFFFFFFFu;
const std::string kPastTopAddress = "data runs past address FFFFFFFF";
// Only address, start or end records: the scanner would get nothing to install.
const std::string kNoData = "the file holds no data";

FirmwareCheck refused(FirmwareCheck check, std::size_t line, std::string problem) {
    check.ok = false;
    check.line = line;
    check.problem = std::move(problem);
    return check;
}

FirmwareCheck passed(FirmwareCheck check, const Extent& extent) {
    check.ok = true;
    check.lowestAddress = extent.lowest;
    check.highestAddress = extent.highest;
    return check;
}

std::string_view asText(std::span<const std::uint8_t> content) {
    return {reinterpret_cast<const char*>(content.data()), content.size()};
}

FirmwareCheck checkIntelHex(std::span<const std::uint8_t> content) {
    FirmwareCheck check;
    check.format = FirmwareFormat::IntelHex;
    Extent extent;
    std::uint32_t base = 0;
    bool segmented = false;  // an 02 record's base: offsets wrap inside the 64 KiB segment
    bool ended = false;
    Lines lines(asText(content));
    std::string_view line;
    while (lines.next(line)) {
        if (line.empty()) continue;
        if (ended) return refused(check, lines.number(), "data after the end-of-file record");
        auto parsed = parseIntelHexRecord(line);
        if (!parsed.ok) return refused(check, lines.number(), std::move(parsed.problem));
        ++check.records;
        const IntelHexRecord& r = parsed.record;
        const unsigned value = r.size >= 2 ? unsigned(r.data[0]) << 8 | r.data[1] : 0;
        switch (r.type) {
            case kHexData: {
                if (r.size == 0) break;
                const std::uint32_t end = std::uint32_t(r.address) + r.size;  // one past
                if (segmented && end > 0x10000) {
                    extent.add(base + r.address, base + 0xFFFF);
                    extent.add(base, base + (end - 0x10000) - 1);
                } else {
                    const std::uint64_t last = std::uint64_t(base) + end - 1;
                    if (last > kTopAddress) return refused(check, lines.number(), kPastTopAddress);
                    extent.add(base + r.address, static_cast<std::uint32_t>(last));
                }
                check.dataBytes += r.size;
                break;
            }
            case kHexEndOfFile:
                ended = true;
                break;
            case kHexExtendedSegmentAddress:
                base = value << 4;
                segmented = true;
                break;
            case kHexExtendedLinearAddress:
                base = value << 16;
                segmented = false;
                break;
            default:  // start addresses: nothing to check beyond the record
                break;
        }
    }
    if (check.records == 0) return refused(check, 0, "no records");
    if (!ended) return refused(check, 0, "no end-of-file record");
    if (check.dataBytes == 0) return refused(check, 0, kNoData);
    return passed(check, extent);
}

FirmwareCheck checkSRecords(std::span<const std::uint8_t> content) {
    FirmwareCheck check;
    check.format = FirmwareFormat::SRecords;
    Extent extent;
    std::size_t dataRecords = 0;
    bool ended = false;
    Lines lines(asText(content));
    std::string_view line;
    while (lines.next(line)) {
        if (line.empty()) continue;
        if (ended) return refused(check, lines.number(), "data after the termination record");
        auto parsed = parseSRecord(line);
        if (!parsed.ok) return refused(check, lines.number(), std::move(parsed.problem));
        ++check.records;
        const SRecord& r = parsed.record;
        switch (r.type) {
            case 1:
            case 2:
            case 3: {
                ++dataRecords;
                if (r.size == 0) break;
                const std::uint64_t last = std::uint64_t(r.address) + r.size - 1;
                if (last > kTopAddress) return refused(check, lines.number(), kPastTopAddress);
                extent.add(r.address, static_cast<std::uint32_t>(last));
                check.dataBytes += r.size;
                break;
            }
            case 5:
            case 6:
                if (r.address != dataRecords)
                    return refused(check, lines.number(),
                                   "record count " + std::to_string(r.address) +
                                       " does not match the " + std::to_string(dataRecords) +
                                       " data records before it");
                break;
            case 7:
            case 8:
            case 9:
                ended = true;
                break;
            default:  // S0, the header: free text
                break;
        }
    }
    if (check.records == 0) return refused(check, 0, "no records");
    if (!ended) return refused(check, 0, "no termination record");
    if (check.dataBytes == 0) return refused(check, 0, kNoData);
    return passed(check, extent);
}

FirmwareCheck checkBinary(std::span<const std::uint8_t> content) {
    FirmwareCheck check;
    check.format = FirmwareFormat::Binary;
    if (content.empty()) return refused(check, 0, "empty file");
    check.dataBytes = content.size();
    Extent extent;
    extent.add(0, static_cast<std::uint32_t>(content.size() - 1));
    return passed(check, extent);
}

FirmwareCheck checkAs(FirmwareFormat format, std::span<const std::uint8_t> content) {
    switch (format) {
        case FirmwareFormat::IntelHex:
            return checkIntelHex(content);
        case FirmwareFormat::SRecords:
            return checkSRecords(content);
        case FirmwareFormat::Binary:
            break;
    }
    return checkBinary(content);
}

// A text of record lines: the first non-blank character starts a HEX or an S-record, and
// nothing in it is a control byte other than a line end, a tab or a blank. Such a file is
// checked as records whatever its name, so a broken one is refused instead of going out as
// bytes.
std::optional<FirmwareFormat> recordsByContent(std::span<const std::uint8_t> content) {
    for (const std::uint8_t b : content)
        if ((b < 0x20 && b != '\t' && b != '\r' && b != '\n') || b >= 0x7F) return std::nullopt;
    const std::string_view text = asText(content);
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return std::nullopt;
    if (text[first] == ':') return FirmwareFormat::IntelHex;
    if (text[first] == 'S' && first + 1 < text.size() && text[first + 1] >= '0' &&
        text[first + 1] <= '9')
        return FirmwareFormat::SRecords;
    return std::nullopt;
}

std::string_view baseName(std::string_view path) {
    return path.substr(path.find_last_of('/') + 1);  // npos + 1 is 0: the whole path
}

std::optional<FirmwareFormat> formatByName(std::string_view fileName) {
    const std::string_view name = baseName(fileName);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    std::string extension(name.substr(dot + 1));
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (extension == "hex") return FirmwareFormat::IntelHex;
    if (extension == "bin") return FirmwareFormat::Binary;
    for (const char* records : {"s19", "s28", "s37", "s2", "s32", "srec", "mot"})
        if (extension == records) return FirmwareFormat::SRecords;
    return std::nullopt;
}

}  // namespace

RecordParse<IntelHexRecord> parseIntelHexRecord(std::string_view line) {
    RecordParse<IntelHexRecord> parsed;
    auto fail = [&parsed](std::string problem) {
        parsed.problem = std::move(problem);
        return parsed;
    };
    if (line.empty() || line[0] != ':') return fail("record does not start with ':'");
    if (line.size() > kMaxRecordLineLength) return fail(kLineTooLong);
    if (auto problem = nonHexProblem(line, 1); !problem.empty()) return fail(problem);
    // ':' LL AAAA TT CC, then two characters a data byte.
    constexpr std::size_t kFixed = 11;
    if (line.size() < kFixed) return fail(tooShort(line.size(), kFixed));

    IntelHexRecord& r = parsed.record;
    r.size = byteAt(line, 1);
    const std::size_t needed = kFixed + 2 * std::size_t(r.size);
    if (line.size() != needed)
        return fail(lengthProblem(line.size(), needed, "byte count", r.size));
    r.address = static_cast<std::uint16_t>(byteAt(line, 3) << 8 | byteAt(line, 5));
    r.type = byteAt(line, 7);
    unsigned sum = r.size + byteAt(line, 3) + byteAt(line, 5) + r.type;
    for (std::size_t i = 0; i < r.size; ++i) {
        r.data[i] = byteAt(line, 9 + 2 * i);
        sum += r.data[i];
    }
    const auto expected = static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
    const std::uint8_t found = byteAt(line, needed - 2);
    if (found != expected) return fail(checksumProblem(expected, found));

    static constexpr int kDataBytesOfType[] = {-1, 0, 2, 4, 2, 4};  // -1: any
    if (r.type > kHexStartLinearAddress) return fail("unknown record type " + hexByte(r.type));
    const int needs = kDataBytesOfType[r.type];
    if (needs >= 0 && r.size != needs)
        return fail("record type " + hexByte(r.type) + " needs " + std::to_string(needs) +
                    " data bytes, found " + std::to_string(r.size));
    parsed.ok = true;
    return parsed;
}

RecordParse<SRecord> parseSRecord(std::string_view line) {
    RecordParse<SRecord> parsed;
    auto fail = [&parsed](std::string problem) {
        parsed.problem = std::move(problem);
        return parsed;
    };
    if (line.empty() || line[0] != 'S') return fail("record does not start with 'S'");
    // 'S' type CC, then two characters a byte of the address, the data and the checksum.
    constexpr std::size_t kFixed = 4;
    if (line.size() < 2) return fail(tooShort(line.size(), kFixed));
    // Address bytes of S0..S9; 0 for S4, which has no meaning.
    static constexpr std::size_t kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const char digit = line[1];
    if (digit < '0' || digit > '9' || kAddressBytes[digit - '0'] == 0) {
        const auto u = static_cast<unsigned char>(digit);
        if (u > 0x20 && u < 0x7F) return fail(std::string("unknown record type S") + digit);
        return fail("unknown record type (S followed by " + shownCharacter(digit) + ")");
    }
    if (line.size() > kMaxRecordLineLength) return fail(kLineTooLong);
    if (auto problem = nonHexProblem(line, 2); !problem.empty()) return fail(problem);
    if (line.size() < kFixed) return fail(tooShort(line.size(), kFixed));

    SRecord& r = parsed.record;
    r.type = digit - '0';
    const std::uint8_t count = byteAt(line, 2);
    const std::size_t needed = kFixed + 2 * std::size_t(count);
    if (line.size() != needed) return fail(lengthProblem(line.size(), needed, "count", count));
    const std::size_t addressBytes = kAddressBytes[r.type];
    if (count < addressBytes + 1)
        return fail("record too short (S" + std::string(1, digit) + " needs a count of at least " +
                    hexByte(static_cast<unsigned>(addressBytes + 1)) + ", found " + hexByte(count) +
                    ")");

    unsigned sum = count;
    std::size_t pos = 4;
    for (std::size_t i = 0; i < addressBytes; ++i, pos += 2) {
        const std::uint8_t b = byteAt(line, pos);
        r.address = r.address << 8 | b;
        sum += b;
    }
    r.size = static_cast<std::uint8_t>(count - addressBytes - 1);
    for (std::size_t i = 0; i < r.size; ++i, pos += 2) {
        r.data[i] = byteAt(line, pos);
        sum += r.data[i];
    }
    const auto expected = static_cast<std::uint8_t>(~sum & 0xFF);
    const std::uint8_t found = byteAt(line, pos);
    if (found != expected) return fail(checksumProblem(expected, found));
    if (r.type >= 5 && r.size != 0)
        return fail("record type S" + std::string(1, digit) + " carries no data, found " +
                    std::to_string(r.size) + " bytes");
    parsed.ok = true;
    return parsed;
}

FirmwareFormat formatFor(std::string_view fileName, std::span<const std::uint8_t> content) {
    const auto named = formatByName(fileName);
    if (named == FirmwareFormat::Binary) return *named;
    if (auto records = recordsByContent(content)) return *records;
    return named.value_or(FirmwareFormat::Binary);
}

FirmwareCheck checkFirmware(std::string_view fileName, std::span<const std::uint8_t> content) {
    const auto named = formatByName(fileName);
    FirmwareCheck check;
    check.format = named.value_or(FirmwareFormat::Binary);
    if (content.empty()) return refused(check, 0, "empty file");
    if (content.size() > kMaxFirmwareFileSize)
        return refused(check, 0,
                       "file larger than " + std::to_string(kMaxFirmwareFileSize >> 20) + " MiB");
    return checkAs(formatFor(fileName, content), content);
}

std::string describeProblem(const FirmwareCheck& check, std::string_view path) {
    if (check.ok) return {};
    std::string text(baseName(path));
    if (check.line > 0) text += " line " + std::to_string(check.line);
    return text + ": " + check.problem;
}

}  // namespace fenwald
