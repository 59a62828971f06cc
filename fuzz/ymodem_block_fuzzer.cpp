// Any bytes as a received YMODEM block and as block 0's payload: nothing may crash, and what
// the builders make from a parsed block or header must parse back the same.
#include <cstdlib>
#include <span>

#include "serial/ymodem.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkHeader(std::span<const std::uint8_t> payload) {
    auto header = serial::parseYmodemHeader(payload);
    if (!header || header->endsBatch()) return;
    if (auto stored = serial::ymodemStoredName(header->name)) {
        check(!stored->empty() && *stored != "." && *stored != "..");
        check(stored->find_first_of("/\\") == std::string::npos);
        check(serial::numberedFileName(*stored, 1) != *stored);
    }
    auto rebuilt = serial::buildYmodemHeader(header->name, header->size.value_or(0));
    if (rebuilt.empty()) return;  // too long for any block
    auto again = serial::parseYmodemHeader(rebuilt);
    check(again && again->name == header->name && again->size == header->size.value_or(0));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::span<const std::uint8_t> bytes(data, size);
    auto block = serial::parseYmodemBlock(bytes);
    if (block.kind == serial::YmodemBlockKind::Data) {
        check(block.payload.size() + serial::ymodem::kBlockOverhead ==
              serial::ymodemBlockLength(data[0]));
        check(block.payload.data() == data + 3);
        if (block.intact()) {
            auto rebuilt = serial::buildYmodemBlock(block.number, block.payload);
            check(std::equal(rebuilt.begin(), rebuilt.end(), bytes.begin()));
        }
        checkHeader(block.payload);
    }
    checkHeader(bytes);
    return 0;
}
