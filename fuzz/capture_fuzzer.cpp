// Any bytes as what the scanner sends after a picture request: the header block, then as many
// data blocks as it announces, read as the capture engine reads them. Beyond the sanitizers'
// checks: a block that reads whole is exactly its frame in the input, nothing is read past the
// input, and a header that parses describes a window the engine can size.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "picture/engine/capture_protocol.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

// The line: the input once, then silence.
struct Line {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;
    int read(void* to, int count) {
        std::size_t n = std::min(static_cast<std::size_t>(count), size - at);
        if (n > 0) std::memcpy(to, data + at, n);
        at += n;
        return static_cast<int>(n);
    }
};

// One block into buffer, checked against the bytes it came from.
pictavo::BlockResult readChecked(Line& line, std::uint8_t* buffer, std::size_t capacity,
                                 std::size_t& length) {
    const std::size_t from = line.at;
    std::size_t got = ~std::size_t(0);
    auto r = pictavo::readFramedBlock([&](void* to, int n) { return line.read(to, n); },
                                      [] { return false; }, buffer, capacity, got);
    check(line.at <= line.size);
    switch (r) {
        case pictavo::BlockResult::Ok: {
            check(got <= capacity);
            const std::size_t end = line.at - 1;  // the CR
            check(end >= from + pictavo::kBlockOverhead - 1 + got);
            const std::size_t start = end + 1 - pictavo::kBlockOverhead - got;
            check(line.data[start] == pictavo::wire::kBlockStart);
            check(line.data[end] == pictavo::wire::CR);
            check(start - from <= pictavo::kMaxSkippedBytes);
            check(got == 0 || std::memcmp(buffer, line.data + start + 7, got) == 0);
            length = got;
            break;
        }
        case pictavo::BlockResult::Silent:
            check(from == line.size && got == ~std::size_t(0));
            break;
        case pictavo::BlockResult::Killed:
            check(false);
            break;
        default:
            check(got == ~std::size_t(0));
            break;
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Line line{data, size};
    std::uint8_t block[pictavo::kBlockBufferSize];
    std::size_t length = 0;
    if (readChecked(line, block, sizeof block, length) != pictavo::BlockResult::Ok) return 0;

    auto header = pictavo::parsePictureHeader(block, length);
    if (!header) return 0;
    check(header->width() >= 1 && header->height() >= 1);
    check(header->blocks >= 1 && header->divisor >= 0);
    const std::uint64_t bytes = header->imageBytes();
    check(bytes <= std::uint64_t(header->width()) * std::uint64_t(header->height()));
    check(header->divisor != 0 || bytes == 0);
    if (header->divisor == 0 || bytes > pictavo::kImageBufferLimit) return 0;

    // The data blocks, each into what is left of the picture, as the engine does.
    std::uint64_t received = 0;
    for (long long j = 0; j < header->blocks - 1LL; ++j) {
        std::size_t room =
            static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, bytes - received));
        if (readChecked(line, block, room, length) != pictavo::BlockResult::Ok) break;
        received += length;
        check(received <= bytes);
    }
    check(received <= size);
    return 0;
}
