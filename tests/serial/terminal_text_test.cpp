#include <gtest/gtest.h>

#include <random>

#include "serial/rtf_writer.h"
#include "serial/terminal_text.h"
#include "tests/serial/rtf_reader.h"

TEST(AnsiCodePage, EveryByteRoundTripsAndTheWindowsCharactersAreThere) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(serial::unicodeToAnsi(serial::ansiToUnicode(std::uint8_t(b))), b) << b;
    EXPECT_EQ(serial::ansiToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(serial::ansiToUnicode(0x9F), U'\u0178');
    EXPECT_EQ(serial::ansiToUnicode(0xE4), U'\u00E4');
    EXPECT_EQ(serial::unicodeToAnsi(U'\u4E2D'), -1);
    EXPECT_EQ(serial::unicodeToAnsi(U'\u0080'), -1);  // 0x80 is the euro sign, not U+0080
}

TEST(TerminalTrim, FirstCharactersGoOnlyAboveTheThreshold) {
    EXPECT_EQ(serial::charactersToTrim(1500000, 4, serial::kTrimThresholdInput), 0u);
    EXPECT_EQ(serial::charactersToTrim(1500001, 4, serial::kTrimThresholdInput), 2500u);
    EXPECT_EQ(serial::charactersToTrim(1500001, 0, serial::kTrimThresholdInput), 2500u);
    EXPECT_EQ(serial::charactersToTrim(150001, 300, serial::kTrimThresholdDisplayOnly), 2500u);
    // One append larger than the trim step still brings the text back to the threshold.
    EXPECT_EQ(serial::charactersToTrim(150001, 8192, serial::kTrimThresholdDisplayOnly), 8193u);
    // Never more than there is.
    EXPECT_EQ(serial::charactersToTrim(11, 0, 10), 11u);
}

TEST(TerminalLineBuffer, KeepsAHundredCharactersUntilEnterAndStartsAfreshAfterIt) {
    serial::TerminalLineBuffer line;
    for (int i = 0; i < 105; ++i) line.add(std::uint8_t('a' + i % 26));
    EXPECT_EQ(line.text().size(), 100u);
    EXPECT_FALSE(line.complete());
    line.markComplete();
    line.add('x');  // typed after Enter but before any other key: not part of the line
    EXPECT_EQ(line.text().size(), 100u);
    line.startNewLineIfComplete();
    EXPECT_EQ(line.text(), "");
    line.add('y');
    line.startNewLineIfComplete();  // an open line is not emptied
    EXPECT_EQ(line.text(), "y");
}

TEST(RtfWriter, EscapesAndEncodesTextAndListsEachColourOnce) {
    std::vector<serial::TextRun> runs = {
        {serial::kColourRed, U"a\\b{c}d\n"},
        {serial::kColourBlue, U"\u00E4\u20AC\u4E2D\t"},
        {serial::kColourRed, U"again"},
        {serial::kColourAutomatic, U"plain\x07"},
    };
    std::string rtf = serial::writeRtf(runs, "Courier New", 10);
    EXPECT_NE(rtf.find("{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}"),
              std::string::npos);
    EXPECT_NE(rtf.find("\\cf1 a\\\\b\\{c\\}d\\par"), std::string::npos);
    EXPECT_NE(rtf.find("\\cf2 \\'e4\\'80\\u20013?\\tab "), std::string::npos);
    EXPECT_NE(rtf.find("\\cf0 plain}"), std::string::npos);  // the bell has no place in a document
    for (unsigned char c : rtf) EXPECT_LT(c, 0x80);

    rtftest::Document doc = rtftest::read(rtf);
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.font, "Courier New");
    EXPECT_EQ(doc.halfPoints, 20);
    EXPECT_EQ(doc.text(), U"a\\b{c}d\n\u00E4\u20AC\u4E2D\tagainplain");
    ASSERT_EQ(doc.runs.size(), 4u);
    EXPECT_EQ(doc.runs[1].colour, serial::kColourBlue);
    EXPECT_EQ(doc.runs[3].colour, serial::kColourAutomatic);
}

TEST(RtfWriter, ArbitraryTextReadsBackUnchanged) {
    std::mt19937 random(7);
    const std::u32string alphabet = U"ab \\{}\n\t;'\u00E4\u00FF\u20AC\u0178\u4E2D\U0001F600\u0081";
    const serial::ColourRef colours[] = {serial::kColourRed, serial::kColourBlue,
                                         serial::kColourDarkBlue, serial::kColourAutomatic};
    for (int round = 0; round < 50; ++round) {
        std::vector<serial::TextRun> runs;
        std::u32string expected;
        for (int r = 0; r < 6; ++r) {
            serial::TextRun run{colours[random() % 4], {}};
            if (!runs.empty() && run.colour == runs.back().colour) continue;
            for (int n = 1 + random() % 20; n > 0; --n)
                run.text += alphabet[random() % alphabet.size()];
            expected += run.text;
            runs.push_back(run);
        }
        rtftest::Document doc = rtftest::read(serial::writeRtf(runs, "Mono", 9.5));
        ASSERT_TRUE(doc.ok) << doc.error;
        ASSERT_EQ(doc.text(), expected);
        ASSERT_EQ(doc.runs.size(), runs.size());
        for (std::size_t i = 0; i < runs.size(); ++i) EXPECT_EQ(doc.runs[i].colour, runs[i].colour);
        EXPECT_EQ(doc.halfPoints, 19);
    }
}
