#include "picture/engine/capture_protocol.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace pictavo {

std::string formatPictureRequest(const PictureRequest& r) {
    char text[500];
    int n =
        std::snprintf(text, sizeof text, "\x1b%2s\r@VELT,%4d,%4d,%4d,%4d,%d,8,%d,%3d,%d,%d,0,%d#",
                      "((", r.window.x0, r.window.y0, r.window.x1, r.window.y1, 1, r.requestFlags,
                      r.quality, r.snapshot ? 1 : 0, r.jpeg ? 1 : 3, 0);
    return std::string(
        text, n < 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(n), sizeof text - 1));
}

std::uint64_t PictureHeader::imageBytes() const {
    if (divisor <= 0 || width() <= 0 || height() <= 0) return 0;
    return std::uint64_t(width()) * std::uint64_t(height()) / std::uint64_t(divisor);
}

namespace {

// The number at offset, or nothing when the payload ends before its first character.
std::optional<int> numberAt(const std::uint8_t* p, std::size_t length, std::size_t offset) {
    std::size_t i = offset;
    while (i < length && (p[i] == ' ' || p[i] == '\t')) ++i;
    if (i >= length) return std::nullopt;
    bool negative = false;
    if (p[i] == '+' || p[i] == '-') negative = p[i++] == '-';
    long long v = 0;
    for (; i < length && p[i] >= '0' && p[i] <= '9'; ++i)
        v = std::min<long long>(v * 10 + (p[i] - '0'), INT_MAX);
    return static_cast<int>(negative ? -v : v);
}

}  // namespace

std::optional<PictureHeader> parsePictureHeader(const std::uint8_t* payload, std::size_t length) {
    PictureHeader h;
    struct Field {
        std::size_t offset;
        int* value;
    } fields[] = {{header_offset::X0, &h.x0},           {header_offset::Y0, &h.y0},
                  {header_offset::X1, &h.x1},           {header_offset::Y1, &h.y1},
                  {header_offset::Divisor, &h.divisor}, {header_offset::Blocks, &h.blocks}};
    for (auto& f : fields) {
        auto v = numberAt(payload, length, f.offset);
        if (!v) return std::nullopt;
        *f.value = *v;
    }
    // Window bounds in 64 bits: the numbers are whatever the block said.
    if (static_cast<long long>(h.x1) - h.x0 + 1 <= 0 ||
        static_cast<long long>(h.y1) - h.y0 + 1 <= 0 ||
        static_cast<long long>(h.x1) - h.x0 + 1 > INT_MAX ||
        static_cast<long long>(h.y1) - h.y0 + 1 > INT_MAX)
        return std::nullopt;
    if (h.blocks < 1 || h.divisor < 0) return std::nullopt;
    return h;
}

BitmapInfo BitmapInfo::grey() {
    BitmapInfo info;
    for (int i = 0; i < 256; ++i) {
        auto v = static_cast<std::uint8_t>(i);
        info.palette[static_cast<std::size_t>(i)] = {v, v, v, 0};
    }
    return info;
}

namespace {

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

}  // namespace

std::vector<std::uint8_t> BitmapInfo::bytes() const {
    std::vector<std::uint8_t> out;
    out.reserve(kSize);
    put32(out, kInfoHeaderSize);
    put32(out, static_cast<std::uint32_t>(width));
    put32(out, static_cast<std::uint32_t>(height));
    put16(out, planes);
    put16(out, bitCount);
    put32(out, compression);
    put32(out, sizeImage);
    put32(out, 0);  // horizontal resolution
    put32(out, 0);  // vertical resolution
    put32(out, colorsUsed);
    put32(out, 0);  // important colours
    for (const auto& entry : palette) out.insert(out.end(), entry.begin(), entry.end());
    return out;
}

std::vector<std::uint8_t> makeGreyBmp(const BitmapInfo& info, const std::uint8_t* data,
                                      std::size_t length) {
    constexpr std::size_t kFileHeaderSize = 14;
    std::size_t width =
        info.width > 0 ? static_cast<std::size_t>(info.width) : (length > 0 ? length : 1);
    std::size_t rows = (length + width - 1) / width;
    std::size_t stride = (width + 3) & ~std::size_t(3);

    BitmapInfo out = info;
    out.width = static_cast<std::int32_t>(width);
    out.height = -static_cast<std::int32_t>(rows);
    out.sizeImage = static_cast<std::uint32_t>(stride * rows);

    std::vector<std::uint8_t> file;
    file.reserve(kFileHeaderSize + BitmapInfo::kSize + stride * rows);
    file.push_back('B');
    file.push_back('M');
    put32(file, static_cast<std::uint32_t>(kFileHeaderSize + BitmapInfo::kSize + stride * rows));
    put32(file, 0);  // reserved
    put32(file, static_cast<std::uint32_t>(kFileHeaderSize + BitmapInfo::kSize));
    auto header = out.bytes();
    file.insert(file.end(), header.begin(), header.end());
    for (std::size_t r = 0; r < rows; ++r) {
        std::size_t from = r * width;
        std::size_t n = std::min(width, length - from);
        file.insert(file.end(), data + from, data + from + n);
        file.insert(file.end(), stride - n, 0);
    }
    return file;
}

}  // namespace pictavo
