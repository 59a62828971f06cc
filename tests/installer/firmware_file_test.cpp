#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "installer/engine/firmware_file.h"
#include "tests/support/test_env.h"

using namespace fenwald;

namespace {

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

FirmwareCheck check(const std::string& name, const std::string& text) {
    return checkFirmware(name, bytes(text));
}

// Written by `objcopy -I binary -O ihex --change-addresses 0x12345` from a 40-byte file:
// segment addressing and a start segment address.
const std::string kObjcopyHex =
    ":020000021000EC\n"
    ":1023450048656C6C6F206669726D776172652C20CB\n"
    ":1023550074686973206973206120746573742069DA\n"
    ":082365006D616765210001FFB5\n"
    ":040000031000234581\n"
    ":00000001FF\n";

// The same 40 bytes by `objcopy -O srec`, with a count record added before the termination.
const std::string kObjcopyS19 =
    "S0080000612E7331398B\n"
    "S113000048656C6C6F206669726D776172652C202F\n"
    "S1130010746869732069732061207465737420693E\n"
    "S10B00206D616765210001FF19\n"
    "S5030003F9\n"
    "S9030000FC\n";

const std::string kObjcopyS28 =
    "S0080000612E7332388B\n"
    "S21401200048656C6C6F206669726D776172652C200D\n"
    "S214012010746869732069732061207465737420691C\n"
    "S20C0120206D616765210001FFF7\n"
    "S804012000DA\n";

const std::string kObjcopyS37 =
    "S0080000612E7333378B\n"
    "S3150000000048656C6C6F206669726D776172652C202D\n"
    "S31500000010746869732069732061207465737420693C\n"
    "S30D000000206D616765210001FF17\n"
    "S70500000000FA\n";

}  // namespace

TEST(FirmwareHex, SegmentAddressesPlaceTheDataAtBaseTimesSixteen) {
    const auto c = check("firmware.hex", kObjcopyHex);
    ASSERT_TRUE(c.ok) << c.problem;
    EXPECT_EQ(c.format, FirmwareFormat::IntelHex);
    EXPECT_EQ(c.records, 6u);
    EXPECT_EQ(c.dataBytes, 40u);
    EXPECT_EQ(c.lowestAddress, 0x12345u);
    EXPECT_EQ(c.highestAddress, 0x1236Cu);
    EXPECT_EQ(c.line, 0u);
    EXPECT_EQ(c.problem, "");
}

TEST(FirmwareHex, LinearAddressesHolesAndLooseLayoutPass) {
    // CR LF and LF ends mixed, blank lines, trailing blanks, lower-case digits, no final line
    // end, and holes between the data.
    const std::string text =
        "\r\n"
        ":020000040001F9\r\n"
        ":0400000001020304f2  \r\n"
        ":020100000506F2\t\n"
        "\n"
        ":020000040002F8\n"
        ":10FFF000000102030405060708090A0B0C0D0E0F89\n"
        ":0400000500010010E6\n"
        ":00000001FF\r\n"
        "\r\n"
        "   \n";
    const auto c = check("FW.HEX", text);
    ASSERT_TRUE(c.ok) << c.problem << " line " << c.line;
    EXPECT_EQ(c.records, 7u);
    EXPECT_EQ(c.dataBytes, 4u + 2u + 16u);
    EXPECT_EQ(c.lowestAddress, 0x10000u);
    EXPECT_EQ(c.highestAddress, 0x2FFFFu);
}

TEST(FirmwareHex, SegmentedDataWrapsInsideItsSegment) {
    // Four bytes from offset FFFE of segment 1200: two at the segment's top, two at its start.
    const auto c = check("wrap.hex", ":020000021200EA\n:04FFFE00AABBCCDDF1\n:00000001FF\n");
    ASSERT_TRUE(c.ok) << c.problem;
    EXPECT_EQ(c.lowestAddress, 0x12000u);
    EXPECT_EQ(c.highestAddress, 0x21FFFu);
    EXPECT_EQ(c.dataBytes, 4u);
}

TEST(FirmwareSRecords, ObjcopyFilesOfEveryAddressSizePass) {
    struct Case {
        const char* name;
        const std::string& text;
        std::uint32_t lowest;
        std::size_t records;
    };
    for (const Case& k :
         {Case{"app.s19", kObjcopyS19, 0x0000, 6}, Case{"app.S28", kObjcopyS28, 0x12000, 5},
          Case{"app.s37", kObjcopyS37, 0x0000, 5}}) {
        SCOPED_TRACE(k.name);
        const auto c = check(k.name, k.text);
        ASSERT_TRUE(c.ok) << c.problem << " line " << c.line;
        EXPECT_EQ(c.format, FirmwareFormat::SRecords);
        EXPECT_EQ(c.records, k.records);
        EXPECT_EQ(c.dataBytes, 40u);
        EXPECT_EQ(c.lowestAddress, k.lowest);
        EXPECT_EQ(c.highestAddress, k.lowest + 39);
    }
}

TEST(FirmwareSRecords, RecordFieldsComeFromTheTypesAddressLength) {
    auto s2 = parseSRecord("S21401200048656C6C6F206669726D776172652C200D");
    ASSERT_TRUE(s2.ok) << s2.problem;
    EXPECT_EQ(s2.record.type, 2);
    EXPECT_EQ(s2.record.address, 0x012000u);
    EXPECT_EQ(s2.record.size, 16u);
    EXPECT_EQ(s2.record.data[0], 'H');
    EXPECT_EQ(s2.record.data[15], ' ');

    auto s6 = parseSRecord("S604000003F8");
    ASSERT_TRUE(s6.ok) << s6.problem;
    EXPECT_EQ(s6.record.address, 3u);
    EXPECT_EQ(s6.record.size, 0u);

    auto hex = parseIntelHexRecord(":040000031000234581");
    ASSERT_TRUE(hex.ok) << hex.problem;
    EXPECT_EQ(hex.record.type, kHexStartSegmentAddress);
    EXPECT_EQ(hex.record.size, 4u);
    EXPECT_EQ(hex.record.data[3], 0x45);
}

TEST(FirmwareBinary, AnyBytesAreTheImageFromAddressZero) {
    const std::string raw("\x00\xff:S1\n\r", 6);
    const auto c = check("/opt/fw/boot.bin", raw);
    ASSERT_TRUE(c.ok);
    EXPECT_EQ(c.format, FirmwareFormat::Binary);
    EXPECT_EQ(c.dataBytes, 6u);
    EXPECT_EQ(c.lowestAddress, 0u);
    EXPECT_EQ(c.highestAddress, 5u);
    EXPECT_EQ(c.records, 0u);
    // A valid HEX text named .bin is still sent as bytes.
    EXPECT_EQ(check("image.bin", kObjcopyHex).format, FirmwareFormat::Binary);
    EXPECT_TRUE(check("image.BIN", ":00000001FE\n").ok);
}

TEST(FirmwareFormat, TheExtensionDecidesInAnyCase) {
    const std::string junk = "not a record file";
    struct Case {
        const char* name;
        FirmwareFormat format;
    };
    for (const Case& k :
         {Case{"a.hex", FirmwareFormat::IntelHex}, Case{"A.HeX", FirmwareFormat::IntelHex},
          Case{"a.s2", FirmwareFormat::SRecords}, Case{"a.S32", FirmwareFormat::SRecords},
          Case{"a.s19", FirmwareFormat::SRecords}, Case{"a.s28", FirmwareFormat::SRecords},
          Case{"a.s37", FirmwareFormat::SRecords}, Case{"a.SREC", FirmwareFormat::SRecords},
          Case{"a.mot", FirmwareFormat::SRecords}, Case{"a.BIN", FirmwareFormat::Binary},
          Case{"dir.hex/a.bin", FirmwareFormat::Binary}}) {
        SCOPED_TRACE(k.name);
        EXPECT_EQ(formatFor(k.name, bytes(junk)), k.format);
        // A named format is checked as that format, so junk in a record file is refused.
        EXPECT_EQ(check(k.name, junk).ok, k.format == FirmwareFormat::Binary);
    }
}

TEST(FirmwareFormat, ATextOfRecordsIsRecordsWhateverItsName) {
    struct Case {
        const char* name;
        std::string text;
        FirmwareFormat format;
    };
    const std::vector<Case> cases = {
        {"firmware", kObjcopyHex, FirmwareFormat::IntelHex},
        {"fw.dat", "\r\n  \n" + kObjcopyHex, FirmwareFormat::IntelHex},
        {"fw.txt", kObjcopyS28, FirmwareFormat::SRecords},
        {"dir.s19/image", kObjcopyS37, FirmwareFormat::SRecords},
        {"app.s19", kObjcopyHex, FirmwareFormat::IntelHex},
        {"app.hex", "\n\t\n" + kObjcopyS19, FirmwareFormat::SRecords},
        // Not records: sent as bytes.
        {"firmware", "Some text\n", FirmwareFormat::Binary},
        {"firmware",
         std::string("\x7f"
                     "ELF\x00",
                     5),
         FirmwareFormat::Binary},
        {"firmware", ":00000001FF\n\x1a", FirmwareFormat::Binary},
        {"firmware", "S1\xe4\n", FirmwareFormat::Binary},
        {"firmware", "\n\n", FirmwareFormat::Binary},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name + (": " + k.text.substr(0, 12)));
        EXPECT_EQ(formatFor(k.name, bytes(k.text)), k.format);
        const auto c = check(k.name, k.text);
        EXPECT_TRUE(c.ok) << c.problem;
        EXPECT_EQ(c.format, k.format);
    }
}

struct Refusal {
    const char* label;
    const char* name;
    std::string text;
    std::size_t line;
    std::string problem;
};

// Keeps the test names short: the label, not the bytes.
void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.label;
}

class FirmwareRefused : public ::testing::TestWithParam<Refusal> {};

TEST_P(FirmwareRefused, NamesTheLineAndTheFault) {
    const Refusal& r = GetParam();
    const auto c = check(r.name, r.text);
    EXPECT_FALSE(c.ok);
    EXPECT_EQ(c.line, r.line);
    EXPECT_EQ(c.problem, r.problem);
}

const std::string kLongLine = ":" + std::string(kMaxRecordLineLength, '0');

INSTANTIATE_TEST_SUITE_P(
    IntelHex, FirmwareRefused,
    ::testing::Values(
        Refusal{"BadChecksum", "fw.hex",
                ":020000021000EC\n:1023450048656C6C6F206669726D776172652C20CC\n:00000001FF\n", 2,
                "bad checksum (expected CB, found CC)"},
        Refusal{"TruncatedRecord", "fw.hex", ":020000021000EC\n\n:1023450048656C6C6F20\n", 3,
                "record too short (byte count 10 needs 43 characters, found 21)"},
        Refusal{"CutInsideTheFixedFields", "fw.hex", ":020000\n", 1,
                "record too short (7 characters, at least 11 needed)"},
        Refusal{"ByteCountTooSmall", "fw.hex", ":0F23450048656C6C6F206669726D776172652C20CB\n", 1,
                "record too long (byte count 0F needs 41 characters, found 43)"},
        Refusal{"UnknownType", "fw.hex", ":00000006FA\n:00000001FF\n", 1, "unknown record type 06"},
        Refusal{"NonHexCharacter", "fw.hex", ":0400000001G20304F2\n", 1,
                "non-hex character 'G' in column 12"},
        Refusal{"ControlCharacter", "fw.hex",
                std::string(":04000000\x00"
                            "1020304F2\n",
                            19),
                1, "non-hex character 0x00 in column 10"},
        Refusal{"BlankInsideTheRecord", "fw.hex", ":04000000 01020304F2\n", 1,
                "non-hex character 0x20 in column 10"},
        Refusal{"NoColon", "fw.hex", "\n00000001FF\n", 2, "record does not start with ':'"},
        Refusal{"LeadingBlank", "fw.hex", " :00000001FF\n", 1, "record does not start with ':'"},
        Refusal{"MissingEndRecord", "fw.hex", ":0400000001020304F2\n\n", 0,
                "no end-of-file record"},
        Refusal{"DataAfterEnd", "fw.hex", ":00000001FF\n\n:0400000001020304F2\n", 3,
                "data after the end-of-file record"},
        Refusal{"SecondEndRecord", "fw.hex", ":00000001FF\n:00000001FF\n", 2,
                "data after the end-of-file record"},
        Refusal{"AddressRecordOfThreeBytes", "fw.hex", ":03000004000102F6\n", 1,
                "record type 04 needs 2 data bytes, found 3"},
        Refusal{"EndRecordWithData", "fw.hex", ":0100000100FE\n", 1,
                "record type 01 needs 0 data bytes, found 1"},
        Refusal{"StartAddressOfTwoBytes", "fw.hex", ":020000050001F8\n", 1,
                "record type 05 needs 4 data bytes, found 2"},
        Refusal{"DataPastTheTopAddress", "fw.hex",
                ":02000004FFFFFC\n:10FFF800000102030405060708090A0B0C0D0E0F81\n", 2,
                "data runs past address FFFFFFFF"},
        Refusal{"LineTooLong", "fw.hex", kLongLine + "\n", 1, "line longer than 600 characters"},
        Refusal{"OnlyBlankLines", "fw.hex", "\r\n \n", 0, "no records"},
        Refusal{"OnlyTheEndRecord", "fw.hex", ":00000001FF\r\n", 0, "the file holds no data"},
        Refusal{"NoDataBytes", "fw.hex", ":020000040001F9\n:0000000000\n:00000001FF\n", 0,
                "the file holds no data"},
        // Named by no known extension, or by another format's: the content decides.
        Refusal{"BadChecksumWithoutExtension", "firmware",
                ":020000021000EC\n:1023450048656C6C6F206669726D776172652C20CC\n:00000001FF\n", 2,
                "bad checksum (expected CB, found CC)"},
        Refusal{"BadChecksumNamedTxt", "app.txt", ":00000001FE\n", 1,
                "bad checksum (expected FF, found FE)"},
        Refusal{"BadChecksumNamedIhx", "app.ihx", "\r\n:00000001FE\r\n", 2,
                "bad checksum (expected FF, found FE)"},
        Refusal{"OnlyTheEndRecordWithoutExtension", "firmware", ":00000001FF\n", 0,
                "the file holds no data"},
        Refusal{"HexNamedS19", "app.s19", ":0400000001020304F2\n", 0, "no end-of-file record"},
        Refusal{"Empty", "fw.hex", "", 0, "empty file"}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(
    SRecords, FirmwareRefused,
    ::testing::Values(
        Refusal{"BadChecksum", "fw.s19", "S0080000612E7331398B\nS1051000DEAD5E\nS9031000EC\n", 2,
                "bad checksum (expected 5F, found 5E)"},
        Refusal{"UnknownTypeS4", "fw.s19", "S1051000DEAD5F\nS404000001FA\n", 2,
                "unknown record type S4"},
        Refusal{"UnknownTypeLetter", "fw.s28", "SX051000DEAD5F\n", 1, "unknown record type SX"},
        Refusal{"NoTypeAtAll", "fw.s28", "S\n", 1,
                "record too short (1 characters, at least 4 needed)"},
        Refusal{"NoS", "fw.s37", "X1051000DEAD5F\n", 1, "record does not start with 'S'"},
        Refusal{"Truncated", "fw.s19", "S113000048656C6C6F206669726D7761\n", 1,
                "record too short (count 13 needs 42 characters, found 32)"},
        Refusal{"CountTooSmallForTheAddress", "fw.s37", "S3030000FC\n", 1,
                "record too short (S3 needs a count of at least 05, found 03)"},
        Refusal{"CountTooSmall", "fw.s19", "S1041000DEAD5F\n", 1,
                "record too long (count 04 needs 12 characters, found 14)"},
        Refusal{"NonHex", "fw.s19", "S1051000DEAZ5F\n", 1, "non-hex character 'Z' in column 12"},
        Refusal{"CountRecordMismatch", "fw.s19",
                "S0080000612E7331398B\nS1051000DEAD5F\nS1051000DEAD5F\nS5030003F9\nS9031000EC\n", 4,
                "record count 3 does not match the 2 data records before it"},
        Refusal{"TerminationWithData", "fw.s19", "S90500000102F7\n", 1,
                "record type S9 carries no data, found 2 bytes"},
        Refusal{"MissingTermination", "fw.s19", "S0080000612E7331398B\nS1051000DEAD5F\n", 0,
                "no termination record"},
        Refusal{"DataAfterTermination", "fw.s19", "S9031000EC\r\n\r\nS1051000DEAD5F\r\n", 3,
                "data after the termination record"},
        Refusal{"DataPastTheTopAddress", "fw.s37", "S308FFFFFFFE010203F6\n", 1,
                "data runs past address FFFFFFFF"},
        Refusal{"OnlyHeaderAndTermination", "fw.s19", "S0080000612E7331398B\nS9030000FC\n", 0,
                "the file holds no data"},
        Refusal{"MissingTerminationWithoutExtension", "firmware",
                "S0080000612E7331398B\nS1051000DEAD5F\n", 0, "no termination record"},
        Refusal{"BadChecksumNamedTxt", "app.txt", "S9030000FB\n", 1,
                "bad checksum (expected FC, found FB)"},
        Refusal{"Empty", "fw.s19", "", 0, "empty file"}),
    [](const auto& info) { return std::string(info.param.label); });

INSTANTIATE_TEST_SUITE_P(Binary, FirmwareRefused,
                         ::testing::Values(Refusal{"Empty", "fw.bin", "", 0, "empty file"},
                                           Refusal{"EmptyWithoutExtension", "firmware", "", 0,
                                                   "empty file"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(FirmwareRecords, EveryChangedDigitOfAValidRecordIsRefused) {
    // A single wrong digit anywhere (count, address, type, data, checksum) must not pass: the
    // checksum covers every byte, the count the length.
    const std::string hex = ":1023450048656C6C6F206669726D776172652C20CB";
    const std::string srec = "S21401200048656C6C6F206669726D776172652C200D";
    ASSERT_TRUE(parseIntelHexRecord(hex).ok);
    ASSERT_TRUE(parseSRecord(srec).ok);
    const std::string digits = "0123456789ABCDEF";
    for (std::size_t i = 1; i < hex.size(); ++i)
        for (char d : digits) {
            if (d == hex[i]) continue;
            std::string bad = hex;
            bad[i] = d;
            EXPECT_FALSE(parseIntelHexRecord(bad).ok) << bad;
        }
    for (std::size_t i = 2; i < srec.size(); ++i)
        for (char d : digits) {
            if (d == srec[i]) continue;
            std::string bad = srec;
            bad[i] = d;
            EXPECT_FALSE(parseSRecord(bad).ok) << bad;
        }
}

TEST(FirmwareRecords, EveryCutOfAValidRecordIsRefused) {
    // Each prefix is given as its own allocation, so ASan catches a read past its end.
    const std::string hex = ":1023450048656C6C6F206669726D776172652C20CB";
    const std::string srec = "S21401200048656C6C6F206669726D776172652C200D";
    for (std::size_t n = 0; n < hex.size(); ++n) {
        const std::vector<char> cut(hex.begin(), hex.begin() + static_cast<long>(n));
        EXPECT_FALSE(parseIntelHexRecord({cut.data(), cut.size()}).ok) << n;
    }
    for (std::size_t n = 0; n < srec.size(); ++n) {
        const std::vector<char> cut(srec.begin(), srec.begin() + static_cast<long>(n));
        EXPECT_FALSE(parseSRecord({cut.data(), cut.size()}).ok) << n;
    }
}

TEST(FirmwareMessage, NamesTheBaseNameTheLineAndTheFault) {
    const auto bad = check("/home/me/fw/firmware.hex",
                           ":020000021000EC\n:1023450048656C6C6F206669726D776172652C20CC\n");
    EXPECT_EQ(describeProblem(bad, "/home/me/fw/firmware.hex"),
              "firmware.hex line 2: bad checksum (expected CB, found CC)");
    const auto open = check("app.s19", "S1051000DEAD5F\n");
    EXPECT_EQ(describeProblem(open, "app.s19"), "app.s19: no termination record");
    EXPECT_EQ(describeProblem(check("fw.hex", kObjcopyHex), "fw.hex"), "");
}

TEST(FirmwareObjcopy, FilesWrittenByObjcopyPassWithTheirAddresses) {
    if (std::system("objcopy --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no objcopy";
    testenv::ScratchDir dir;
    std::string image;
    for (int i = 0; i < 1000; ++i) image += static_cast<char>(i * 37 % 251);
    testenv::writeFile(dir.file("image.bin"), image);

    struct Case {
        const char* output;
        const char* options;
        std::uint32_t address;
    };
    for (const Case& k :
         {Case{"linear.hex", "-O ihex", 0x0800FF00}, Case{"segment.hex", "-O ihex", 0x0001FF00},
          Case{"small.s19", "-O srec", 0x0000F000}, Case{"mid.s28", "-O srec", 0x00FFF000},
          Case{"big.s37", "-O srec", 0x80000000}}) {
        SCOPED_TRACE(k.output);
        const std::string command = std::string("objcopy -I binary ") + k.options +
                                    " --change-addresses " + std::to_string(k.address) + " " +
                                    dir.file("image.bin") + " " + dir.file(k.output);
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        const std::string text = testenv::readFile(dir.file(k.output));
        const auto c = check(k.output, text);
        ASSERT_TRUE(c.ok) << describeProblem(c, k.output);
        EXPECT_EQ(c.dataBytes, image.size());
        EXPECT_EQ(c.lowestAddress, k.address);
        EXPECT_EQ(c.highestAddress, k.address + image.size() - 1);
        // One wrong byte anywhere in the data is refused.
        std::string bad = text;
        const std::size_t at = bad.find('\n', bad.size() / 2) + 12;
        bad[at] = bad[at] == '0' ? '1' : '0';
        EXPECT_FALSE(check(k.output, bad).ok);
    }
}
