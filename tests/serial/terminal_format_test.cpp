#include <gtest/gtest.h>

#include <vector>

#include "serial/terminal_format.h"

namespace {
std::string render(std::vector<std::uint8_t> bytes, int format) {
    return serial::renderBytes(bytes.data(), bytes.size(), format);
}
}  // namespace

TEST(renderBytes, ShowsALineInEachFormat) {
    EXPECT_EQ(render({0x41, 0x0D, 0x0A, 0x07}, serial::kFormatNormal), "A\r");
    EXPECT_EQ(render({0x41, 0x0D, 0x0A, 0x07}, serial::kFormatAscii), "A<CR>\r<LF><BEL>");
    EXPECT_EQ(render({0x41, 0x0D, 0x0A, 0x07}, serial::kFormatHex), "41 0D\r0A 07 ");
    EXPECT_EQ(render({0x80, 0xFF, 0x20}, serial::kFormatNormal), "\x80\xFF ");
    EXPECT_EQ(render({0x80, 0xFF, 0x1B}, serial::kFormatAscii), "\x80\xFF<ESC>");
    EXPECT_EQ(render({0x00, 0x1F}, serial::kFormatAscii), "<NUL><US>");
}

TEST(renderBytes, StopsOnceAbout8KBAreOut) {
    std::vector<std::uint8_t> many(10000, 0x1B);  // five characters each in ASCII
    std::string ascii = render(many, serial::kFormatAscii);
    EXPECT_EQ(ascii.size(), 8195u);  // the byte that crosses 8192 is still shown whole
    std::string hex = render(many, serial::kFormatHex);
    EXPECT_EQ(hex.size(), 8193u);
    EXPECT_EQ(render(many, serial::kFormatNormal), "");
}
