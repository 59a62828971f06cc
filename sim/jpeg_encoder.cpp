#include "sim/jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sim {

namespace {

constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr int kLuminance[64] = {16,  11,  10,  16,  24, 40, 51,  61,  12,  12,  14,  19,  26,
                                58,  60,  55,  14,  13, 16, 24,  40,  57,  69,  56,  14,  17,
                                22,  29,  51,  87,  80, 62, 18,  22,  37,  56,  68,  109, 103,
                                77,  24,  35,  55,  64, 81, 104, 113, 92,  49,  64,  78,  87,
                                103, 121, 120, 101, 72, 92, 95,  98,  112, 100, 103, 99};

constexpr std::uint8_t kDcBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr std::uint8_t kAcBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr std::uint8_t kAcValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61,
    0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52,
    0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25,
    0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45,
    0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64,
    0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83,
    0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6,
    0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3,
    0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8,
    0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

struct Code {
    std::uint16_t bits = 0;
    std::uint8_t length = 0;
};

std::array<Code, 256> canonicalCodes(const std::uint8_t* counts, const std::uint8_t* values) {
    std::array<Code, 256> table{};
    std::uint16_t code = 0;
    int k = 0;
    for (int len = 1; len <= 16; ++len) {
        for (int i = 0; i < counts[len - 1]; ++i)
            table[values[k++]] = {code++, static_cast<std::uint8_t>(len)};
        code <<= 1;
    }
    return table;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<std::uint8_t>& out) : out_(out) {}
    void put(std::uint32_t bits, int length) {
        for (int i = length - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((bits >> i) & 1));
            if (++count_ == 8) emit();
        }
    }
    void flush() {
        while (count_ != 0) put(1, 1);  // pad with one bits
    }

private:
    void emit() {
        out_.push_back(acc_);
        if (acc_ == 0xFF) out_.push_back(0x00);  // byte stuffing
        acc_ = 0;
        count_ = 0;
    }
    std::vector<std::uint8_t>& out_;
    std::uint8_t acc_ = 0;
    int count_ = 0;
};

int category(int v) {
    int a = std::abs(v), n = 0;
    while (a) {
        ++n;
        a >>= 1;
    }
    return n;
}

std::uint32_t magnitudeBits(int v, int cat) {
    return static_cast<std::uint32_t>(v < 0 ? v + (1 << cat) - 1 : v);
}

void put16(std::vector<std::uint8_t>& out, unsigned v) {
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void huffmanSegment(std::vector<std::uint8_t>& out, int tableClass, const std::uint8_t* counts,
                    const std::uint8_t* values, int valueCount) {
    out.insert(out.end(), {0xFF, 0xC4});
    put16(out, static_cast<unsigned>(2 + 1 + 16 + valueCount));
    out.push_back(static_cast<std::uint8_t>(tableClass << 4));
    out.insert(out.end(), counts, counts + 16);
    out.insert(out.end(), values, values + valueCount);
}

}  // namespace

std::vector<std::uint8_t> encodeGreyJpeg(const std::uint8_t* pixels, int width, int height,
                                         int quality) {
    quality = std::clamp(quality, 1, 100);
    int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    int quant[64];
    for (int i = 0; i < 64; ++i) quant[i] = std::clamp((kLuminance[i] * scale + 50) / 100, 1, 255);

    std::vector<std::uint8_t> out;
    out.reserve(1024 + std::size_t(std::max(width, 0)) * std::size_t(std::max(height, 0)) / 2);
    out.insert(out.end(), {0xFF, 0xD8,                                     // start of image
                           0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0,  // JFIF 1.01
                           1,    1,    0,    0,    1,   0,   1,   0,   0});
    out.insert(out.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    for (int k = 0; k < 64; ++k) out.push_back(static_cast<std::uint8_t>(quant[kZigzag[k]]));
    out.insert(out.end(), {0xFF, 0xC0, 0x00, 0x0B, 0x08});
    put16(out, static_cast<unsigned>(height));
    put16(out, static_cast<unsigned>(width));
    out.insert(out.end(), {0x01, 0x01, 0x11, 0x00});
    huffmanSegment(out, 0, kDcBits, kDcValues, sizeof kDcValues);
    huffmanSegment(out, 1, kAcBits, kAcValues, sizeof kAcValues);
    out.insert(out.end(), {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00});

    static const auto dc = canonicalCodes(kDcBits, kDcValues);
    static const auto ac = canonicalCodes(kAcBits, kAcValues);
    double cosines[8][8];
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 8; ++x)
            cosines[u][x] =
                (u == 0 ? std::sqrt(0.5) : 1.0) * 0.5 * std::cos((2 * x + 1) * u * M_PI / 16);

    BitWriter bits(out);
    int previousDc = 0;
    for (int by = 0; by < height; by += 8) {
        for (int bx = 0; bx < width; bx += 8) {
            double block[8][8], rows[8][8], coef[8][8];
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)  // edges repeat the last pixel
                    block[y][x] =
                        pixels[std::min(by + y, height - 1) * width + std::min(bx + x, width - 1)] -
                        128.0;
            for (int y = 0; y < 8; ++y)
                for (int u = 0; u < 8; ++u) {
                    double s = 0;
                    for (int x = 0; x < 8; ++x) s += block[y][x] * cosines[u][x];
                    rows[y][u] = s;
                }
            for (int v = 0; v < 8; ++v)
                for (int u = 0; u < 8; ++u) {
                    double s = 0;
                    for (int y = 0; y < 8; ++y) s += rows[y][u] * cosines[v][y];
                    coef[v][u] = s;
                }
            int q[64];
            for (int k = 0; k < 64; ++k) {
                int i = kZigzag[k];
                q[k] = static_cast<int>(std::lround(coef[i / 8][i % 8] / quant[i]));
            }
            int diff = q[0] - previousDc;
            previousDc = q[0];
            int cat = category(diff);
            bits.put(dc[cat].bits, dc[cat].length);
            bits.put(magnitudeBits(diff, cat), cat);
            int run = 0;
            for (int k = 1; k < 64; ++k) {
                if (q[k] == 0) {
                    ++run;
                    continue;
                }
                for (; run > 15; run -= 16) bits.put(ac[0xF0].bits, ac[0xF0].length);
                cat = category(q[k]);
                int symbol = (run << 4) | cat;
                bits.put(ac[symbol].bits, ac[symbol].length);
                bits.put(magnitudeBits(q[k], cat), cat);
                run = 0;
            }
            if (run > 0) bits.put(ac[0x00].bits, ac[0x00].length);
        }
    }
    bits.flush();
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
}

std::vector<std::uint8_t> padJpeg(std::vector<std::uint8_t> jpeg, std::size_t size) {
    constexpr std::size_t kSegmentMax = 4 + 65533;  // marker, length, comment bytes
    if (jpeg.size() < 2 || size < jpeg.size() + 4) return jpeg;
    std::size_t extra = size - jpeg.size();
    std::vector<std::uint8_t> pad;
    while (extra > 0) {
        std::size_t take = std::min(extra, kSegmentMax);
        if (extra - take > 0 && extra - take < 4) take -= 4;
        pad.insert(pad.end(), {0xFF, 0xFE});
        put16(pad, static_cast<unsigned>(take - 2));
        for (std::size_t i = 4; i < take; ++i)
            pad.push_back(static_cast<std::uint8_t>('a' + i % 26));
        extra -= take;
    }
    jpeg.insert(jpeg.begin() + 2, pad.begin(), pad.end());
    return jpeg;
}

}  // namespace sim
