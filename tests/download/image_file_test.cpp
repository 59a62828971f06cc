#include <gtest/gtest.h>

#include "download/engine/flash_writer.h"
#include "download/engine/image_file.h"
#include "tests/support/test_env.h"

using namespace kolvane;

namespace {

StartPosition at(const std::string& path, DownloadSettings s = {}) {
    return analyseName(path, s);
}

Bytes readBlock(ImageReader& r, std::size_t n, std::size_t* count = nullptr) {
    Bytes block(n, 0x00);
    std::size_t c = r.readTransferBlock(block.data(), n);
    if (count) *count = c;
    return block;
}

std::unique_ptr<ImageReader> text(const std::string& s) {
    return ImageReader::fromBytes(Bytes(s.begin(), s.end()), true);
}

}  // namespace

TEST(ImageName, PartsComeFromTheLastSeparatorAndTheLastDot) {
    auto p = splitImageName("C:\\fw\\app.v2.bin");
    EXPECT_EQ(p.fileName, "app.v2.bin");
    EXPECT_EQ(p.title, "app.v2");
    EXPECT_EQ(p.extension, "bin");
    p = splitImageName("/home/me/fw.rel/image");
    EXPECT_EQ(p.fileName, "image");
    EXPECT_EQ(p.title, "");
    EXPECT_EQ(p.extension, "rel/image");
    EXPECT_EQ(splitImageName("C:\\fw.rel\\image").extension, "rel\\image");
    EXPECT_EQ(splitImageName("image").extension, "image");
}

TEST(ImageName, StartBlockAndAddressFollowTheNameTable) {
    // Start-up settings: RsBkSize 8192, Save Address 0x10000, DeviceType 0.
    EXPECT_EQ(at("/fw/app.bin").block, 8);
    EXPECT_EQ(at("/fw/app.bin").address, 0x10010000u);
    EXPECT_EQ(at("/any/where/Boot.bin").block, 0);
    EXPECT_EQ(at("/any/where/Boot.bin").address, 0x10000000u);
    // Letter case does not matter, as in Windows file names.
    for (const char* boot : {"/fw/boot.bin", "/fw/Boot.BIN", "/fw/BOOT.Bin"}) {
        EXPECT_EQ(at(boot).block, 0) << boot;
        EXPECT_EQ(at(boot).address, 0x10000000u) << boot;
    }
    EXPECT_EQ(at("/fw/APP.BIN").block, 8);
    EXPECT_EQ(at("/fw/FONT.TTF").block, 224);
    EXPECT_EQ(at("/fw/Bootx.bin").block, 8);
    // A dot in a folder and none in the file: "any other extension".
    EXPECT_EQ(at("/fw.rel/image").block, 8);
    EXPECT_EQ(at("/fw.rel/image").address, 0x101C0000u);
    EXPECT_EQ(at("C:\\fw.rel\\Boot").address, 0x101C0000u);

    EXPECT_EQ(at("/fw/x.ttf").block, 224);
    EXPECT_EQ(at("/fw/x.ttf").address, 0x101C0000u);
    DownloadSettings z7b;
    z7b.DeviceType = 1;
    EXPECT_EQ(at("/fw/x.ttf", z7b).block, 208);
    EXPECT_EQ(at("/fw/x.ttf", z7b).address, 0x101C0000u);
}

TEST(ImageName, DelXswBlockSizeAndDeviceTypeMoveTheStart) {
    DownloadSettings s;
    s.SaveAddress = kDelXswSaveAddress;
    EXPECT_EQ(at("/fw/app.bin", s).block, 254);
    EXPECT_EQ(at("/fw/app.bin", s).address, 0x101FC000u);
    s.DeviceType = 2;  // moves B, and with it A0 of .bin files, but not their K0
    EXPECT_EQ(at("/fw/app.bin", s).block, 254);
    EXPECT_EQ(at("/fw/app.bin", s).address, 0x801FC000u);
    EXPECT_EQ(at("/fw/Boot.bin", s).address, 0x80000000u);
    // The .ttf difference is unsigned: 0x101C0000 - 0x80000000 = 0x901C0000.
    EXPECT_EQ(at("/fw/x.ttf", s).block, 295136);
    EXPECT_EQ(at("/fw/x.ttf", s).address, 0x101C0000u);

    DownloadSettings mot;
    mot.RsBkSize = 16;
    EXPECT_EQ(at("/fw/app.bin", mot).block, 0x10000 / 16);
    EXPECT_EQ(at("/fw/app.hex", mot).block, 0x10000 / 16);
    DownloadSettings boot;
    boot.RsBkSize = 2;  // still computed, only the address is used
    EXPECT_EQ(at("/fw/app.bin", boot).block, 0x8000);
    EXPECT_EQ(at("/fw/app.bin", boot).address, 0x10010000u);
    EXPECT_TRUE(isTextImage("/a/b.ttf"));
    EXPECT_TRUE(isTextImage("/a/FONT.TTF"));
    EXPECT_FALSE(isTextImage("/a/b.ttf.bin"));
}

TEST(BinaryImage, BlocksAreFilledFromTheFileAndTheRestIsTheFillByte) {
    Bytes data(40);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
    auto r = ImageReader::fromBytes(data, false);
    std::size_t count = 0;
    Bytes b = readBlock(*r, 16, &count);
    EXPECT_EQ(count, 16u);
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 16), b);
    readBlock(*r, 16, &count);
    b = readBlock(*r, 16, &count);
    EXPECT_EQ(count, 8u);
    EXPECT_EQ(Bytes(data.begin() + 32, data.end()), Bytes(b.begin(), b.begin() + 8));
    EXPECT_EQ(Bytes(8, kFillByte), Bytes(b.begin() + 8, b.end()));
    readBlock(*r, 16, &count);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(r->consumed(), 40u);

    // A CR LF in a binary file is data.
    auto crlf = ImageReader::fromBytes({'\r', '\n'}, false);
    EXPECT_EQ(readBlock(*crlf, 2), (Bytes{'\r', '\n'}));
}

TEST(TextImage, TokensSeparatorsAndLowBits) {
    auto r = text("1,2,3\n4, 5\n");
    std::size_t count = 0;
    Bytes b = readBlock(*r, 5, &count);
    EXPECT_EQ(count, 5u);
    EXPECT_EQ(b, (Bytes{1, 2, 3, 4, 5}));

    std::uint8_t previous = kFirstTokenWithoutNumber;
    EXPECT_EQ(parseTextPiece("256,-1,+7,\x07 300\n", previous),
              (Bytes{0x00, 0xFF, 0x07, 300 & 0xFF}));
    // Runs of separators make no empty tokens; a token without a number repeats the last value.
    EXPECT_EQ(parseTextPiece(",,9,,,x,\x07\x07, ,12abc,-", previous), (Bytes{9, 9, 9, 12, 12}));
    previous = kFirstTokenWithoutNumber;
    EXPECT_EQ(parseTextPiece("junk,5", previous), (Bytes{kFirstTokenWithoutNumber, 5}));
    // Numbers far beyond 32 bits keep their low 8 bits.
    EXPECT_EQ(parseTextPiece("123456789012345678901234567890", previous), (Bytes{0xD2}));
    EXPECT_EQ(parseTextPiece("-123456789012345678901234567890", previous), (Bytes{0x2E}));
}

struct ContentCase {
    const char* bytes;
    bool textMode;
    const char* problem;  // nullptr: the image goes out
};

class ImageContent : public ::testing::TestWithParam<ContentCase> {};

TEST_P(ImageContent, IsCheckedBeforeAnythingIsSentAndLeftToBeReadFromItsStart) {
    const ContentCase& c = GetParam();
    const std::string bytes = c.bytes;
    auto r = ImageReader::fromBytes(Bytes(bytes.begin(), bytes.end()), c.textMode);
    auto problem = r->contentProblem("/fw/a\x1b]0;x\a.ttf");
    if (!c.problem) {
        EXPECT_FALSE(problem) << *problem;
    } else {
        ASSERT_TRUE(problem);
        EXPECT_EQ(*problem, "/fw/a\\x1B]0;x\\x07.ttf" + std::string(c.problem));
    }
    // The check read the whole file; the transfer still begins at its first value.
    EXPECT_EQ(r->consumed(), 0u);
    Bytes first(1);
    if (!bytes.empty()) {
        EXPECT_EQ(r->readSectorData(first.data(), 1), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    TextAndBinary, ImageContent,
    ::testing::Values(
        ContentCase{"", false, " is empty: there is nothing to download."},
        ContentCase{"", true, " is empty: there is nothing to download."},
        ContentCase{"\r\n\n,,\r\n", true, " holds no values: there is nothing to download."},
        ContentCase{"\x01", false, nullptr}, ContentCase{"1,2,\r\n-3, +4 ,\a 5\r\n", true, nullptr},
        ContentCase{"1,2\r\n3,x\r\n", true, ", line 2: \"x\" is not a decimal number."},
        ContentCase{"1\n2\n0x1F\n", true, ", line 3: \"0x1F\" is not a decimal number."},
        ContentCase{"12abc", true, ", line 1: \"12abc\" is not a decimal number."},
        ContentCase{"1,2, \n", true, ", line 1: \" \" is not a decimal number."},
        ContentCase{"1,-\n", true, ", line 1: \"-\" is not a decimal number."},
        ContentCase{"\x7f"
                    "ELF\x02",
                    true, ", line 1: \"\\x7FELF\\x02\" is not a decimal number."}));

TEST(TextImage, AProblemInALongLineIsFoundInItsLaterPieces) {
    std::string image = "1\n" + std::string(600, '7') + ",x\n";
    auto r = text(image);
    EXPECT_EQ(r->contentProblem("a.ttf"), "a.ttf, line 2: \"x\" is not a decimal number.");
}

TEST(TextImage, CrLfIsOneLineEndAndPiecesEndBlocks) {
    // Text mode: CR LF is LF, so the CR makes no extra token.
    auto r = text("1,2,\r\n3,4,5,6\r\n7\r\n");
    std::size_t count = 0;
    // The block fills in the second piece; its values past the block are dropped, and the next
    // block starts with the next piece.
    EXPECT_EQ(readBlock(*r, 4, &count), (Bytes{1, 2, 3, 4}));
    Bytes second = readBlock(*r, 4, &count);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(second, (Bytes{7, kFillByte, kFillByte, kFillByte}));
    readBlock(*r, 4, &count);
    EXPECT_EQ(count, 0u);
}

TEST(TextImage, ALongLineIsReadIn511CharacterPiecesAndANumberCutThereBecomesTwo) {
    std::string line(509, ' ');
    line += "123,4\n";  // "12" ends the first piece, "3" begins the second
    auto r = text(line);
    std::size_t count = 0;
    EXPECT_EQ(readBlock(*r, 3, &count), (Bytes{12, 3, 4}));
    EXPECT_EQ(count, 3u);
    // With a block of one value, the first piece fills it: "3,4" of the second piece make the
    // next block, cut to one value.
    auto r2 = text(line);
    EXPECT_EQ(readBlock(*r2, 1), (Bytes{12}));
    EXPECT_EQ(readBlock(*r2, 1), (Bytes{3}));
    readBlock(*r2, 1, &count);
    EXPECT_EQ(count, 0u);
}

TEST(ImageFiles, OpenReadsFilesAndRefusesFoldersAndMissingOnes) {
    testenv::ScratchDir dir;
    testenv::writeFile(dir.file("a.ttf"), "1,2\r\n3\r\n");
    auto t = ImageReader::openFile(dir.file("a.ttf"), true);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->size(), 8u);
    EXPECT_EQ(readBlock(*t, 3), (Bytes{1, 2, 3}));
    auto b = ImageReader::openFile(dir.file("a.ttf"), false);
    Bytes raw(8);
    EXPECT_EQ(b->readSectorData(raw.data(), raw.size()), 8u);
    EXPECT_EQ(raw, (Bytes{'1', ',', '2', '\r', '\n', '3', '\r', '\n'}));
    EXPECT_FALSE(ImageReader::openFile(dir.file("missing.bin"), false));
    EXPECT_FALSE(ImageReader::openFile(dir.path(), false));
}

TEST(FlashImage, WordOrderFollowsEndianType) {
    EXPECT_EQ(wordValue(0x12, 0x34, 0), 0x1234);
    EXPECT_EQ(wordValue(0x12, 0x34, 1), 0x3412);
    Bytes data = {0x12, 0x34, 0xAB};
    auto big = chunkWords(data, 0, 0);
    ASSERT_EQ(big.size(), 1024u);
    EXPECT_EQ(big[0], 0x1234);
    EXPECT_EQ(big[1], 0xABFF);  // past the image: erased value
    EXPECT_EQ(big[2], 0xFFFF);
    EXPECT_EQ(chunkWords(data, 0, 1)[1], 0xFFAB);
}

TEST(FlashImage, SectorsAreCutAfter32AndAShortOneKeepsItsChunks) {
    Bytes big(32 * kSectorSize + 1);
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<std::uint8_t>(i / kSectorSize);
    auto r = ImageReader::fromBytes(big, false);
    FlashSectors sectors(*r, 0x10010000);
    FlashSector s;
    int n = 0;
    while (sectors.next(s)) {
        EXPECT_EQ(s.address, 0x10010000u + n * 0x10000u);
        EXPECT_EQ(s.data.size(), kSectorSize);
        EXPECT_EQ(s.data.front(), n);
        ++n;
    }
    EXPECT_EQ(n, 32);
    EXPECT_EQ(r->consumed(), 32 * kSectorSize);  // the last byte is never read

    // 100 KiB: two sectors, the second with 36 KiB in 18 chunks.
    auto r2 = ImageReader::fromBytes(Bytes(100 * 1024, 1), false);
    FlashSectors two(*r2, 0x80000000);
    ASSERT_TRUE(two.next(s));
    ASSERT_TRUE(two.next(s));
    EXPECT_EQ(s.address, 0x80010000u);
    EXPECT_EQ(s.data.size(), 36u * 1024);
    EXPECT_EQ((s.data.size() + kChunkBytes - 1) / kChunkBytes, 18u);
    EXPECT_FALSE(two.next(s));

    // Exactly 64 KiB: one sector, then nothing.
    auto r3 = ImageReader::fromBytes(Bytes(kSectorSize, 1), false);
    FlashSectors one(*r3, 0x10000000);
    EXPECT_TRUE(one.next(s));
    EXPECT_FALSE(one.next(s));
}
