// The input as one S-record and as a whole .s19 file. Beyond the sanitizers' checks: a record
// that passes must be exactly its fields written out again, and a refusal must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/record_text.h"
#include "installer/engine/firmware_file.h"

namespace {

using fuzzrecords::appendByte;
using fuzzrecords::sameIgnoringCase;

// Address bytes of S0..S9 (S4 never passes).
constexpr unsigned kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const auto parsed = fenwald::parseSRecord(line);
    if (parsed.ok) {
        const fenwald::SRecord& r = parsed.record;
        if (r.type < 0 || r.type > 9 || r.type == 4) __builtin_trap();
        const unsigned addressBytes = kAddressBytes[r.type];
        const unsigned count = addressBytes + r.size + 1;
        std::string text = "S" + std::to_string(r.type);
        unsigned sum = count;
        appendByte(text, count);
        for (unsigned i = addressBytes; i-- > 0;) {
            const unsigned b = (r.address >> (8 * i)) & 0xFF;
            appendByte(text, b);
            sum += b;
        }
        for (std::size_t i = 0; i < r.size; ++i) {
            appendByte(text, r.data[i]);
            sum += r.data[i];
        }
        appendByte(text, ~sum & 0xFF);
        if (!sameIgnoringCase(text, line) || !parsed.problem.empty()) __builtin_trap();
    } else if (parsed.problem.empty()) {
        __builtin_trap();
    }

    const auto file = fenwald::checkFirmware("fuzz.s19", {data, size});
    // A text of the other format's records is checked as that format, whatever the name.
    const std::size_t first = line.find_first_not_of(" \t\r\n");
    const bool otherText = first != std::string_view::npos && line[first] == ':';
    if (file.format != fenwald::FirmwareFormat::SRecords &&
        !(otherText && file.format == fenwald::FirmwareFormat::IntelHex))
        __builtin_trap();
    if (file.ok != file.problem.empty()) __builtin_trap();
    if (file.ok &&
        (file.records == 0 || file.dataBytes == 0 || file.lowestAddress > file.highestAddress))
        __builtin_trap();
    return 0;
}
