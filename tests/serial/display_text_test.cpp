#include <gtest/gtest.h>

#include "serial/display_text.h"

using serial::displayText;

TEST(DisplayText, EscapesControlCharactersAndCutsLongTextsInTheMiddle) {
    EXPECT_EQ(displayText("/home/a/app.bin"), "/home/a/app.bin");
    EXPECT_EQ(displayText(std::string("a\nb\rc\td\x1b[2J\x7f", 12)), "a\\nb\\rc\\td\\x1B[2J\\x7F");
    EXPECT_EQ(displayText(std::string("\0z", 2)), "\\x00z");

    std::string longPath = "/" + std::string(300, 'x') + "/firmware.bin";
    std::string shown = displayText(longPath, 40);
    EXPECT_EQ(shown.size(), 40u);
    EXPECT_EQ(shown.substr(0, 6), "/xxxxx");
    EXPECT_EQ(shown.substr(shown.size() - 12), "firmware.bin");
    EXPECT_NE(shown.find("..."), std::string::npos);

    // A multi-byte character is kept whole or left out, never cut.
    std::string umlauts;
    for (int i = 0; i < 50; ++i) umlauts += "\xC3\xBC";
    std::string cut = displayText(umlauts, 21);
    EXPECT_EQ(cut.find("..."), 8u);
    EXPECT_LE(cut.size(), 21u);
    for (std::size_t i = 0; i + 1 < cut.size(); ++i) {
        if (static_cast<unsigned char>(cut[i]) == 0xC3) {
            EXPECT_EQ(static_cast<unsigned char>(cut[i + 1]), 0xBC);
        }
    }
    EXPECT_NE(static_cast<unsigned char>(cut.back()), 0xC3);
}

TEST(DisplayText, AWindowGetsTheTerminalsNamesForControlBytes) {
    EXPECT_EQ(serial::namedControlBytes("V1\x1b]0;x\x07\r\nend\x7f"),
              "V1<ESC>]0;x<BEL><CR><LF>end<DEL>");
    const std::string longName(4000, 'a');
    EXPECT_EQ(serial::namedControlBytes(longName), longName);  // nothing cut
}
