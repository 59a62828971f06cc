// The scanner's picture protocol as data and pure functions: the wire bytes, the picture
// request, the block framing limits, the header block's numbers, and the grey bitmap header
// that describes an uncompressed picture (with the BMP file built from it).
//
// The scanner sends every unit as a block: ':' , block number (2 bytes, big-endian, ignored),
// length L (4 bytes, big-endian), L payload bytes, a check field (2 bytes, ignored) and CR.
// The first block after the request is a text header whose numbers stand at fixed offsets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo {

namespace wire {
constexpr std::uint8_t ESC = 0x1B, CR = 0x0D, ACK = 0x06, ETB = 0x17;
constexpr std::uint8_t kBlockStart = ':';
constexpr char kResetCommand[] = "\x1bZ1\r";  // after the last block and to reset the scanner
constexpr int kResetCommandLength = 4;
constexpr unsigned kBaudRate = 115200;
}  // namespace wire

// Framing sizes: start mark, block number, length, check field, end mark.
constexpr std::size_t kBlockNumberSize = 2, kBlockLengthSize = 4, kBlockCheckSize = 2;
constexpr std::size_t kBlockOverhead =
    1 + kBlockNumberSize + kBlockLengthSize + kBlockCheckSize + 1;
// The most payload one block may carry.
constexpr std::size_t kBlockBufferSize = 1304;
// A device that sends nothing but noise must not keep a block read going forever.
constexpr std::size_t kMaxSkippedBytes = 64 * 1024;
// The most picture the engine will hold: well above a 1280 x 1024 grey picture. A header
// announcing more is treated as a picture the buffer cannot be made for.
constexpr std::size_t kImageBufferLimit = 16u << 20;

struct PictureWindow {
    int x0 = 0, y0 = 0, x1 = 1279, y1 = 1023;
    bool operator==(const PictureWindow&) const = default;
};

struct PictureRequest {
    PictureWindow window;
    int requestFlags = 0;
    int quality = 65;
    bool snapshot = false;
    bool jpeg = true;
};

// How reading one block ended: a whole block, a stop request, nothing at all, a broken frame
// (noise without ':', a short read, no CR at the end), or more payload than there is room for.
enum class BlockResult { Ok, Killed, Silent, BadFrame, TooLong };

// Reads one block off a line: noise up to ':' skipped (at most kMaxSkippedBytes), the block
// number, the length, at most capacity payload bytes into buffer, the check field and CR.
// read(buffer, n) returns how many of n bytes came (fewer: the line went quiet); killed() is
// asked before each byte of the search for ':'. length is set only for a whole block.
template <class Read, class Killed>
BlockResult readFramedBlock(Read&& read, Killed&& killed, std::uint8_t* buffer,
                            std::size_t capacity, std::size_t& length) {
    std::uint8_t c = 0;
    for (std::size_t skipped = 0;; ++skipped) {
        if (killed()) return BlockResult::Killed;
        if (read(&c, 1) != 1) return skipped == 0 ? BlockResult::Silent : BlockResult::BadFrame;
        if (c == wire::kBlockStart) break;
        if (skipped >= kMaxSkippedBytes) return BlockResult::BadFrame;
    }
    std::uint8_t number[kBlockNumberSize], size[kBlockLengthSize];
    if (read(number, sizeof number) != int(sizeof number) ||
        read(size, sizeof size) != int(sizeof size))
        return BlockResult::BadFrame;
    std::uint32_t n = 0;
    for (std::uint8_t b : size) n = (n << 8) | b;
    if (n > capacity) return BlockResult::TooLong;
    if (n > 0 && read(buffer, static_cast<int>(n)) != static_cast<int>(n))
        return BlockResult::BadFrame;
    std::uint8_t check[kBlockCheckSize], end = 0;
    if (read(check, sizeof check) != int(sizeof check) || read(&end, 1) != 1 || end != wire::CR)
        return BlockResult::BadFrame;
    length = n;
    return BlockResult::Ok;
}

// ESC "((" CR "@VELT,   0,   0,1279,1023,1,8,0, 65,1,1,0,0#" for the defaults in snapshot mode.
std::string formatPictureRequest(const PictureRequest& request);

// The header block's numbers, read at these payload offsets.
namespace header_offset {
constexpr std::size_t X0 = 11, Y0 = 18, X1 = 25, Y1 = 32, Divisor = 40, Blocks = 81;
}

struct PictureHeader {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int divisor = 0;
    int blocks = 0;  // the header block included
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    // width * height / divisor; 0 when the divisor is 0.
    std::uint64_t imageBytes() const;
};

// Reads each number as decimal text (leading blanks skipped, an optional sign, reading stops
// at the first non-digit, no digits read as 0). Nothing when the payload ends before a
// number's first character, or the window is empty, or the block count is below 1: a bad
// header. A divisor of 0 is returned as read; the caller decides.
std::optional<PictureHeader> parsePictureHeader(const std::uint8_t* payload, std::size_t length);

// The grey bitmap header: BITMAPINFOHEADER with a 256-entry grey palette, as its 1064 bytes
// are laid out on the wire of the platform (little-endian).
struct BitmapInfo {
    std::int32_t width = 256;
    std::int32_t height = -204;  // negative: rows top-down
    std::uint16_t planes = 1;
    std::uint16_t bitCount = 8;
    std::uint32_t compression = 0;  // BI_RGB
    std::uint32_t sizeImage = 52224;
    std::uint32_t colorsUsed = 256;
    std::array<std::array<std::uint8_t, 4>, 256> palette{};  // (blue, green, red, 0)

    static constexpr std::size_t kInfoHeaderSize = 40;
    static constexpr std::size_t kSize = kInfoHeaderSize + 256 * 4;  // 1064

    // The header the engine starts with: 256 x -204, grey ramp palette.
    static BitmapInfo grey();
    std::vector<std::uint8_t> bytes() const;
};

// A complete BMP file: the 14-byte file header, the bitmap header and the rows, each row
// padded to a multiple of four bytes as the format demands. The width comes from info; the
// height is the number of rows the data fills (a last partial row is completed with black),
// so what was received is what is shown even when it does not fill the announced picture.
std::vector<std::uint8_t> makeGreyBmp(const BitmapInfo& info, const std::uint8_t* data,
                                      std::size_t length);

}  // namespace pictavo
