#include <gtest/gtest.h>

#include <cstring>

#include "picture/engine/capture_protocol.h"
#include "sim/scanner_device.h"

using namespace pictavo;
using Bytes = std::vector<std::uint8_t>;

namespace {

std::optional<PictureHeader> parse(const std::string& text) {
    return parsePictureHeader(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// A header text with the numbers at their offsets.
std::string headerText(const char* x0, const char* y0, const char* x1, const char* y1,
                       const char* d, const char* n) {
    std::string h(100, '.');
    auto put = [&](std::size_t at, const char* v) { h.replace(at, std::strlen(v), v); };
    put(11, x0);
    put(18, y0);
    put(25, x1);
    put(32, y1);
    put(40, d);
    put(81, n);
    return h;
}

std::uint32_t le32(const Bytes& b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

}  // namespace

TEST(PictureRequest, IsFormattedWithItsFieldsAtTheirWidths) {
    PictureRequest r;
    r.snapshot = true;
    EXPECT_EQ(formatPictureRequest(r), "\x1b((\r@VELT,   0,   0,1279,1023,1,8,0, 65,1,1,0,0#");
    r = {{5, 6, 12345, 7}, 3, 100, false, false};
    EXPECT_EQ(formatPictureRequest(r), "\x1b((\r@VELT,   5,   6,12345,   7,1,8,3,100,0,3,0,0#");
}

TEST(PictureHeader, NumbersAreReadAtTheirOffsetsAsDecimalText) {
    auto h = parse(headerText("  10", "   20", "109", "  49,", "   12 ", "    7#"));
    ASSERT_TRUE(h);
    EXPECT_EQ(h->x0, 10);
    EXPECT_EQ(h->y0, 20);
    EXPECT_EQ(h->x1, 109);
    EXPECT_EQ(h->y1, 49);
    EXPECT_EQ(h->divisor, 12);
    EXPECT_EQ(h->blocks, 7);
    EXPECT_EQ(h->width(), 100);
    EXPECT_EQ(h->height(), 30);
    EXPECT_EQ(h->imageBytes(), 250u);

    // The simulated scanner's header reads back as it was written.
    sim::SeenRequest r;
    r.x0 = 0, r.y0 = 0, r.x1 = 1279, r.y1 = 1023, r.quality = 65;
    Bytes sim = sim::formatScannerHeader(r, 13, 81, 100000);
    h = parsePictureHeader(sim.data(), sim.size());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->width(), 1280);
    EXPECT_EQ(h->height(), 1024);
    EXPECT_EQ(h->divisor, 13);
    EXPECT_EQ(h->blocks, 81);
}

TEST(PictureHeader, TooShortEmptyOrImpossibleHeadersAreBad) {
    std::string good = headerText("0", "0", "9", "9", "1", "2");
    EXPECT_TRUE(parse(good));
    EXPECT_FALSE(parse(good.substr(0, 81)));  // ends before the block count
    EXPECT_FALSE(parse(good.substr(0, 40)));
    EXPECT_FALSE(parse(""));
    std::string blanksToTheEnd = good.substr(0, 81) + "    ";
    EXPECT_FALSE(parse(blanksToTheEnd));
    EXPECT_TRUE(parse(good.substr(0, 82)));                         // one digit is a number
    EXPECT_FALSE(parse(headerText("9", "0", "0", "9", "1", "2")));  // x1 before x0
    EXPECT_FALSE(parse(headerText("0", "0", "9", "9", "1", "0")));  // no block, not even the header
    EXPECT_FALSE(parse(headerText("0", "0", "9", "9", "-1", "2")));
    auto zero = parse(headerText("0", "0", "9", "9", "0", "2"));
    ASSERT_TRUE(zero);  // the caller decides about a divisor of 0
    EXPECT_EQ(zero->imageBytes(), 0u);
    auto letters = parse(headerText("0", "0", "9", "9", "x", "2"));
    ASSERT_TRUE(letters);  // no digits read as 0
    EXPECT_EQ(letters->divisor, 0);
    auto huge = parse(headerText("0", "0", "999999", "99999", "1", "2"));
    ASSERT_TRUE(huge);
    EXPECT_GT(huge->imageBytes(), kImageBufferLimit);
}

TEST(BitmapHeader, StartsAsTheGreyRampOf256By204) {
    BitmapInfo info = BitmapInfo::grey();
    Bytes b = info.bytes();
    ASSERT_EQ(b.size(), 1064u);
    EXPECT_EQ(le32(b, 0), 40u);
    EXPECT_EQ(le32(b, 4), 256u);
    EXPECT_EQ(static_cast<std::int32_t>(le32(b, 8)), -204);
    EXPECT_EQ(b[12] | b[13] << 8, 1);
    EXPECT_EQ(b[14] | b[15] << 8, 8);
    EXPECT_EQ(le32(b, 16), 0u);
    EXPECT_EQ(le32(b, 20), 52224u);
    EXPECT_EQ(le32(b, 32), 256u);
    for (int i : {0, 1, 128, 255})
        EXPECT_EQ(le32(b, 40 + 4 * std::size_t(i)), std::uint32_t(i * 0x010101)) << i;
}

TEST(GreyBmp, HoldsTheRowsTopDownPaddedToFourBytes) {
    BitmapInfo info = BitmapInfo::grey();
    info.width = 3;
    info.height = -2;
    Bytes rows = {1, 2, 3, 4, 5, 6};
    Bytes bmp = makeGreyBmp(info, rows.data(), rows.size());
    ASSERT_EQ(bmp.size(), 14u + 1064u + 8u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le32(bmp, 2), bmp.size());
    EXPECT_EQ(le32(bmp, 10), 14u + 1064u);
    EXPECT_EQ(le32(bmp, 14 + 4), 3u);
    EXPECT_EQ(static_cast<std::int32_t>(le32(bmp, 14 + 8)), -2);
    EXPECT_EQ(le32(bmp, 14 + 20), 8u);
    EXPECT_EQ(Bytes(bmp.end() - 8, bmp.end()), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));

    // Fewer bytes than announced: the rows that came, the last one completed.
    Bytes part = {7, 8, 9, 10};
    bmp = makeGreyBmp(info, part.data(), part.size());
    EXPECT_EQ(static_cast<std::int32_t>(le32(bmp, 14 + 8)), -2);
    EXPECT_EQ(Bytes(bmp.end() - 8, bmp.end()), (Bytes{7, 8, 9, 0, 10, 0, 0, 0}));
    bmp = makeGreyBmp(info, nullptr, 0);
    EXPECT_EQ(bmp.size(), 14u + 1064u);
}

namespace {

// A block read off bytes as off a line that goes quiet after them.
struct Framed {
    BlockResult result;
    Bytes payload;
    std::size_t readTo;  // bytes taken from the line
};

Framed readFrom(const Bytes& line, std::size_t capacity) {
    std::size_t at = 0;
    auto read = [&](void* to, int count) {
        std::size_t n = std::min(static_cast<std::size_t>(count), line.size() - at);
        if (n > 0) std::memcpy(to, line.data() + at, n);
        at += n;
        return static_cast<int>(n);
    };
    Bytes buffer(capacity + 1, 0xEE);
    std::size_t length = 12345;
    auto r = readFramedBlock(
        read, [] { return false; }, buffer.data(), capacity, length);
    buffer.resize(r == BlockResult::Ok ? length : 0);
    return {r, buffer, at};
}

Bytes frame(const Bytes& payload, std::uint8_t end = wire::CR) {
    Bytes f = {':', 0x00, 0x07};
    for (int shift = 24; shift >= 0; shift -= 8) f.push_back(std::uint8_t(payload.size() >> shift));
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), {0x12, 0x34, end});
    return f;
}

}  // namespace

TEST(BlockFraming, APayloadIsTakenAfterNoiseAndTheLineIsLeftAtTheNextBlock) {
    Bytes line = {'x', 0x00, '\r'};
    Bytes first = frame({1, 2, 3}), second = frame({':', wire::CR});
    line.insert(line.end(), first.begin(), first.end());
    line.insert(line.end(), second.begin(), second.end());
    Framed got = readFrom(line, 3);
    EXPECT_EQ(got.result, BlockResult::Ok);
    EXPECT_EQ(got.payload, (Bytes{1, 2, 3}));
    EXPECT_EQ(got.readTo, 3 + first.size());

    EXPECT_EQ(readFrom(frame({}), 0).result, BlockResult::Ok);
    EXPECT_EQ(readFrom(frame({}), 0).payload, Bytes{});
}

TEST(BlockFraming, SilenceNoiseShortFramesBadEndsAndOversizeAreToldApart) {
    EXPECT_EQ(readFrom({}, 10).result, BlockResult::Silent);
    EXPECT_EQ(readFrom({'a', 'b'}, 10).result, BlockResult::BadFrame);
    Bytes whole = frame({9, 9, 9, 9});
    for (std::size_t cut = 1; cut < whole.size(); ++cut)
        EXPECT_EQ(readFrom(Bytes(whole.begin(), whole.begin() + long(cut)), 10).result,
                  BlockResult::BadFrame)
            << cut;
    EXPECT_EQ(readFrom(frame({9, 9, 9, 9}, 'X'), 10).result, BlockResult::BadFrame);
    // One byte more than there is room for: refused before any payload is stored.
    Framed over = readFrom(whole, 3);
    EXPECT_EQ(over.result, BlockResult::TooLong);
    EXPECT_EQ(over.readTo, 7u);
    // Noise without end gives up after its limit rather than reading forever.
    Bytes noise(kMaxSkippedBytes + 10, 'n');
    noise.insert(noise.end(), whole.begin(), whole.end());
    Framed lost = readFrom(noise, 10);
    EXPECT_EQ(lost.result, BlockResult::BadFrame);
    EXPECT_EQ(lost.readTo, kMaxSkippedBytes + 1);
}

TEST(PictureRequest, TheSimulatedScannerReadsBackWhatThePictureToolSends) {
    for (PictureRequest asked :
         {PictureRequest{}, PictureRequest{{10, 20, 265, 223}, 2, 100, true, false},
          PictureRequest{{-5, -5, 5, 5}, 0, 1, false, true}}) {
        auto seen = sim::parsePictureRequest(formatPictureRequest(asked));
        ASSERT_TRUE(seen);
        EXPECT_EQ((PictureWindow{seen->x0, seen->y0, seen->x1, seen->y1}), asked.window);
        EXPECT_EQ(seen->requestFlags, asked.requestFlags);
        EXPECT_EQ(seen->quality, asked.quality);
        EXPECT_EQ(seen->snapshot, asked.snapshot);
        EXPECT_EQ(seen->jpeg, asked.jpeg);
    }
    EXPECT_FALSE(sim::parsePictureRequest("\x1b((\r@VELT,0,0,1,1#"));
    EXPECT_FALSE(sim::parsePictureRequest("\x1b((\r@VELX,   0,   0,1279,1023,1,8,0, 65,1,1,0,0#"));
}
