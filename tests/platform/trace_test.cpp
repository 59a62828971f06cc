// The trace module's pieces: what VELTRIX_TRACE selects, how bytes and lines look. Whole
// programs tracing a simulated line are run in tests/download and tests/installer.
#include <gtest/gtest.h>

#include <regex>

#include "platform/trace.h"

using platform::trace::Kind;

namespace {

constexpr unsigned kAll = unsigned(Kind::Line) | unsigned(Kind::Worker) | unsigned(Kind::Component);

TEST(TraceSelection, KindsSubsetsAllAndUnknownNames) {
    using platform::trace::parse;
    EXPECT_EQ(parse("line,worker,component").kinds, kAll);
    EXPECT_EQ(parse("all").kinds, kAll);
    EXPECT_EQ(parse("worker").kinds, unsigned(Kind::Worker));
    EXPECT_EQ(parse(" component , line ").kinds, unsigned(Kind::Component) | unsigned(Kind::Line));
    EXPECT_EQ(parse("line,,").kinds, unsigned(Kind::Line));
    EXPECT_EQ(parse("").kinds, 0u);
    // Names are exact: a misspelt or differently cased kind selects nothing and is named.
    auto s = parse("line,Worker,lines,all2");
    EXPECT_EQ(s.kinds, unsigned(Kind::Line));
    EXPECT_EQ(s.unknown, (std::vector<std::string>{"Worker", "lines", "all2"}));
    EXPECT_TRUE(parse("all,line").unknown.empty());
}

TEST(TraceBytes, ControlAndHighBytesByValueAndALongTransferCut) {
    using platform::trace::bytes;
    const std::string command = "1001000042AAAA\r";
    EXPECT_EQ(bytes(command.data(), command.size()), "1001000042AAAA\\x0D");
    const unsigned char odd[] = {0x1B, '\\', 'x', 0x7F, 0x80, 0xFF, 0x00, '\n', ' '};
    EXPECT_EQ(bytes(odd, sizeof odd), "\\x1B\\\\x\\x7F\\x80\\xFF\\x00\\x0A ");
    EXPECT_EQ(bytes(odd, 0), "");

    std::string block(platform::trace::kBytesShown + 100, 'A');
    block[platform::trace::kBytesShown - 1] = '\x02';
    EXPECT_EQ(bytes(block.data(), block.size()),
              std::string(platform::trace::kBytesShown - 1, 'A') + "\\x02... (100 more)");
    const std::string exact(platform::trace::kBytesShown, 'B');
    EXPECT_EQ(bytes(exact.data(), exact.size()), exact);
    // A name is never cut.
    const std::string path = "/dev/" + std::string(200, 'p') + "\x1B";
    EXPECT_EQ(platform::trace::escaped(path), "/dev/" + std::string(200, 'p') + "\\x1B");
}

TEST(TraceLine, StampKindAndText) {
    using platform::trace::formatLine;
    EXPECT_EQ(formatLine(Kind::Line, "/dev/pts/3 write 1: A", 12.3456784),
              "veltrix 12.345678 line /dev/pts/3 write 1: A");
    EXPECT_EQ(formatLine(Kind::Worker, "0x1 start", 0), "veltrix 0.000000 worker 0x1 start");
    const std::string late = formatLine(Kind::Component, "x", 1234567.5);
    EXPECT_TRUE(std::regex_match(late, std::regex("veltrix [0-9]+\\.[0-9]{6} component x")))
        << late;
}

}  // namespace
