// The input as one Intel HEX record and as a whole .hex file. Beyond the sanitizers' checks: a
// record that passes must be exactly its fields written out again, and a refusal must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/record_text.h"
#include "installer/engine/firmware_file.h"

using fuzzrecords::appendByte;
using fuzzrecords::sameIgnoringCase;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto parsed = fenwald::parseIntelHexRecord(line);
    if (parsed.ok) {
        const fenwald::IntelHexRecord& r = parsed.record;
        std::string text = ":";
        unsigned sum = r.size + (r.address >> 8) + (r.address & 0xFF) + r.type;
        appendByte(text, r.size);
        appendByte(text, r.address >> 8);
        appendByte(text, r.address & 0xFF);
        appendByte(text, r.type);
        for (std::size_t i = 0; i < r.size; ++i) {
            appendByte(text, r.data[i]);
            sum += r.data[i];
        }
        appendByte(text, (0x100 - (sum & 0xFF)) & 0xFF);
        if (!sameIgnoringCase(text, line) || !parsed.problem.empty()) __builtin_trap();
    } else if (parsed.problem.empty()) {
        __builtin_trap();
    }

    const auto file = fenwald::checkFirmware("fuzz.hex", {data, size});
    // A text of the other format's records is checked as that format, whatever the name.
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    const bool otherText = first != std::string_view::npos && line[first] == 'S';
    if (file.format != fenwald::FirmwareFormat::IntelHex &&
        !(otherText && file.format == fenwald::FirmwareFormat::SRecords))
        __builtin_trap();
    if (file.ok != file.problem.empty()) __builtin_trap();
    if (file.ok &&
        (file.records == 0 || file.dataBytes == 0 || file.lowestAddress > file.highestAddress))
        __builtin_trap();
    return 0;
}
