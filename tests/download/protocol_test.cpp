#include <gtest/gtest.h>

#include "download/engine/block_transfer.h"
#include "download/engine/config_commands.h"
#include "download/engine/download_thread.h"
#include "download/engine/flash_writer.h"
#include "download/engine/multi_thread.h"

using namespace kolvane;

namespace {
Bytes head(const Bytes& b, std::size_t n) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(n));
}
}  // namespace

TEST(BlockFrame, HeaderChecksumAndLengthInBothByteOrders) {
    BlockFrame big(8192);
    std::fill(big.data(), big.data() + 8192, 0xFF);
    big.seal(5, 0);
    ASSERT_EQ(big.bytes().size(), 8192u + 26);
    EXPECT_EQ(head(big.bytes(), 4), (Bytes{0x20, 0x00, 0x00, 0x05}));
    // 8192 * 0xFF = 0x1FE000, modulo 65536 = 0xE000
    EXPECT_EQ(big.bytes()[4 + 8192], 0xE0);
    EXPECT_EQ(big.bytes()[5 + 8192], 0x00);

    BlockFrame little(8192);
    std::fill(little.data(), little.data() + 8192, 0xFF);
    little.seal(5, 1);
    EXPECT_EQ(head(little.bytes(), 4), (Bytes{0x05, 0x00, 0x00, 0x20}));
    EXPECT_EQ(little.bytes()[4 + 8192], 0x00);
    EXPECT_EQ(little.bytes()[5 + 8192], 0xE0);
    for (std::size_t i = 6 + 8192; i < little.bytes().size(); ++i)
        EXPECT_EQ(little.bytes()[i], 0) << i;

    // The frame carries the low 16 bits of the block number.
    BlockFrame wide(16);
    wide.seal(295136, 0);
    EXPECT_EQ(head(wide.bytes(), 4), (Bytes{0x00, 0x10, 0x80, 0xE0}));
    EXPECT_EQ(blockChecksum(nullptr, 0), 0);
    const std::uint8_t three[] = {1, 2, 0xFF};
    EXPECT_EQ(blockChecksum(three, 3), 0x102);
}

TEST(BlockFrame, StopFrameIsAsLongAsADataFrame) {
    Bytes stop = stopFrame(16);
    ASSERT_EQ(stop.size(), 42u);
    EXPECT_EQ(stop[0], 'E');
    EXPECT_EQ(stop[1], 'D');
    EXPECT_EQ(std::count(stop.begin(), stop.end(), 0), 40);
}

TEST(Replies, EachCodeCountsInBothLetterOrders) {
    EXPECT_EQ(classifyReply('N', 'X'), Reply::Accepted);
    EXPECT_EQ(classifyReply('X', 'N'), Reply::Accepted);
    EXPECT_EQ(classifyReply('T', 'R'), Reply::Rejected);
    EXPECT_EQ(classifyReply('D', 'E'), Reply::StopAccepted);
    EXPECT_EQ(classifyReply('E', 'B'), Reply::FlashBlockWritten);
    EXPECT_EQ(classifyReply('G', 'E'), Reply::FlashErased);
    EXPECT_EQ(classifyReply('E', 'W'), Reply::FlashWriteFailed);
    EXPECT_EQ(classifyReply('E', 'F'), Reply::FlashDone);
    EXPECT_EQ(classifyReply('N', 'N'), Reply::Other);
    EXPECT_EQ(classifyReply('n', 'x'), Reply::Other);
}

TEST(ModeSwitch, CommandsAreEightBytesAndTheThirdFollowsTheInterface) {
    auto rs = modeSwitchCommands(0);
    auto usb = modeSwitchCommands(1);
    for (const auto& c : rs) EXPECT_EQ(c.size(), 8u);
    EXPECT_EQ(rs[0], "\x1BUX\r\r\r\r\r");
    EXPECT_EQ(rs[1], "\x1B[XUX\r\r\r");
    EXPECT_EQ(rs[2], "\x1B[X.Z\r\r\r");
    EXPECT_EQ(usb[2], "\x1B[E49\r\r\r");
    EXPECT_EQ(rs[3], "\x1BZW\r\r\r\r\r");
}

TEST(Monitor, CommandTextsAndWordReadReplies) {
    EXPECT_EQ(wordWriteCommand(0x10000AAA, 0xAA), "10000AAA4200AA");
    EXPECT_EQ(wordReadCommand(0xA0000000), "A000000062");
    EXPECT_EQ(longWriteCommand(0x00221000, 0x90020200), "00221000C490020200");
    const std::string reply = "100000006212AB/";
    EXPECT_EQ(parseWordReadReply(reinterpret_cast<const std::uint8_t*>(reply.data()), 15), 0x12AB);
    const std::string bad = "1000000062??AB/";
    EXPECT_FALSE(parseWordReadReply(reinterpret_cast<const std::uint8_t*>(bad.data()), 15));

    EXPECT_EQ(setupBeforeRamCheck(0).size(), 16u);
    EXPECT_EQ(setupBeforeRamCheck(1)[14], (LongWrite{0x00221000, 0x81027264}));
    EXPECT_EQ(setupBeforeRamCheck(2), (std::vector<LongWrite>{{0xBFFFFF00, 0}}));
    EXPECT_TRUE(setupAfterRamCheck(2).empty());
    EXPECT_EQ(setupAfterRamCheck(0).back(), (LongWrite{0x0022002C, 0x404A0F01}));
}

TEST(Monitor, EraseSettlesAfterTenEqualReadsOfBit6) {
    ToggleSettle s;
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(s.feed(i % 2 ? 0x40 : 0x00)) << i;  // toggling
    EXPECT_FALSE(s.feed(0xFFFF));  // differs from the last: new value, count 0
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(s.feed(0xFFFF));
    EXPECT_TRUE(s.feed(0xFFFF));
    ToggleSettle silent;  // the value 0 from the start counts at once
    for (int i = 0; i < 9; ++i) EXPECT_FALSE(silent.feed(0));
    EXPECT_TRUE(silent.feed(0x0004));
}

TEST(CommandWords, EncodingAndTheChecksOnItsLowBytes) {
    EXPECT_EQ(encodeCommand(24), 0x00180201u);
    EXPECT_EQ(decodeCommand(0x00180201u), 24);
    EXPECT_FALSE(decodeCommand(0x00180202u));
    EXPECT_FALSE(decodeCommand(0x00180101u));
    EXPECT_FALSE(decodeCommand(1));  // the wake-up message
    EXPECT_FALSE(decodeCommand(0));  // the idle call
    // A command number in the highest byte is no table command.
    EXPECT_EQ(decodeCommand(0x01180201u), 0x0118);
}

TEST(ConfigChoices, LogLinesAndCommandsOfTheMenu) {
    auto n = configSteps(ConfigChoice::Bin8kNew);
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].logLine, "Change UseZwFlg : 1");
    EXPECT_EQ(n[0].command, CDownloadThread::kSetUseZwFlg);
    EXPECT_EQ(n[1].logLine, "Change RsBkSize : 8192");
    EXPECT_EQ(n[1].argument, 8192);
    auto o = configSteps(ConfigChoice::Bin8kOld);
    EXPECT_EQ(o[0].logLine, "Change UseZwFlg : 0");
    EXPECT_EQ(o[0].argument, 0);
    EXPECT_EQ(configSteps(ConfigChoice::MotHex).at(0).logLine, "Change RsBkSize : 16");
    EXPECT_EQ(configSteps(ConfigChoice::Bootstrap).at(0).argument, 2);
    EXPECT_EQ(configSteps(ConfigChoice::Z7D).at(0).logLine, "Change DeviceType : 2");
    EXPECT_EQ(configSteps(ConfigChoice::LittleEndian).at(0).logLine, "Change EndianType : 1");
    EXPECT_EQ(configSteps(ConfigChoice::UsbCom).at(0).logLine, "Change IF Type : 1");
    auto del = configSteps(ConfigChoice::DelXsw).at(0);
    EXPECT_EQ(del.logLine, "Change Save Address : 0x001FC000");
    EXPECT_EQ(del.command, CDownloadThread::kSetSaveAddress);
    EXPECT_EQ(del.argument, 0x001FC000);
    EXPECT_EQ(portStep(5).logLine, "Change RsPort : 5");
    EXPECT_EQ(portStep(5).command, CDownloadThread::kSetPort);
    EXPECT_EQ(openFileLogLine("/fw/a.bin"), "Open File : /fw/a.bin");
}
