// The input as one Intel HEX record and as a whole .hex file. Beyond the sanitizers' checks: a
// record that passes must be exactly its fields written out again, and a refusal must say why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "installer/engine/firmware_file.h"

namespace {

void appendByte(std::string& text, unsigned value) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    text += kDigits[(value >> 4) & 0xF];
    text += kDigits[value & 0xF];
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (upper(a[i]) != upper(b[i])) return false;
    }
    return true;
}

}  // namespace

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
    if (file.format != fenwald::FirmwareFormat::IntelHex) __builtin_trap();
    if (file.ok != file.problem.empty()) __builtin_trap();
    if (file.ok && (file.records == 0 || file.lowestAddress > file.highestAddress))
        __builtin_trap();
    return 0;
}
