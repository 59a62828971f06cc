// Flash writing through the bootstrap monitor of the simulated Z7 device.
#include <future>

#include "tests/download/download_session.h"
#include "tests/download/expected_lines.h"

#include "download/engine/flash_writer.h"

using namespace std::chrono_literals;
using kolvane::CDownloadThread;
using kolvane::ConfigChoice;
using namespace dltest;

namespace {

std::string hex4(std::uint16_t v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v);
    return buf;
}

struct MonitorOnCom1 : ::testing::Test {
    testenv::IsolatedPorts env;
    std::unique_ptr<sim::Z7Device> device;
    Session s;

    void start(int deviceType) {
        sim::Z7Device::Options o;
        o.mode = sim::Z7Device::Mode::Bootstrap;
        o.deviceType = deviceType;
        device = std::make_unique<sim::Z7Device>(o);
        ASSERT_TRUE(device->start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
        ASSERT_EQ(s.post(CDownloadThread::kOpenLine), 1);
    }
    void TearDown() override { s.worker.Shutdown(); }
};

}  // namespace

TEST_F(MonitorOnCom1, Z7DWritesLittleEndianWordsWithLineFeedsAtItsOwnSpeed) {
    start(2);
    s.choose(ConfigChoice::Bootstrap);
    s.choose(ConfigChoice::Z7D);
    s.choose(ConfigChoice::LittleEndian);
    Bytes image = randomBytes(2100);
    image[0] = 0x12, image[1] = 0x34;
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    const std::uint16_t before = device->flashWord(0x80000000);
    EXPECT_EQ(s.download(path), 1);

    Lines expected = {"RS line is secured.",
                      "Change RsBkSize : 2",
                      "Change DeviceType : 2",
                      "Change EndianType : 1",
                      "Open File : " + path,
                      "An input file was opened.",
                      "RS line is secured.",
                      "0xA0000000:0x1234",
                      "0x80000000:0x" + hex4(before),
                      "0x80000000:From erase success",
                      "0x80000000:From pokew success",
                      "0x80000800:From pokew success",
                      "",
                      "All From Write success"};
    EXPECT_EQ(s.log, expected);
    EXPECT_EQ(device->line().programSettings()->baudRate, 38400u);
    EXPECT_EQ(device->flashWord(0x80000000), 0x3412);
    for (std::size_t i = 0; i + 1 < image.size(); i += 2)
        ASSERT_EQ(device->flashWord(0x80000000 + static_cast<std::uint32_t>(i)),
                  kolvane::wordValue(image[i], image[i + 1], 1))
            << i;
    EXPECT_EQ(device->flashWord(0x80000000 + 2100), 0xFFFF);    // rest of the last chunk
    EXPECT_EQ(device->flashWord(0x80000000 + 0xFFFE), 0xFFFF);  // rest of the sector: erased
    EXPECT_EQ(device->flashWord(0x80010000),
              device->initialFlashWord(0x80010000));  // next sector untouched
    EXPECT_EQ(device->ramWord(0xA0000000), 0x1234);
    EXPECT_EQ(device->longWrites(), (std::vector<sim::Z7Device::LongWrite>{{0xBFFFFF00, 0}}));

    // After the prompt request every command ends with LF.
    Bytes wire = device->line().received();
    std::string text(wire.begin(), wire.end());
    std::size_t first = text.find_first_not_of('A');
    ASSERT_NE(first, std::string::npos);
    ASSERT_GT(first, 0u);
    std::size_t commands = 0;
    for (std::size_t p = first, nl; p < text.size(); p = nl + 1, ++commands) {
        nl = text.find('\n', p);
        ASSERT_NE(nl, std::string::npos);
        std::size_t len = nl - p;
        ASSERT_TRUE(len == 10 || len == 14 || len == 18) << text.substr(p, 20);
    }
    EXPECT_GT(commands, 2u * 1024 * 4);
}

TEST_F(MonitorOnCom1, AnEraseThatNeverSettlesFailsTheCommandAfterTheRestIsWritten) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    ASSERT_EQ(device->command("erase-busy stuck"), "ok");
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(4097));
    EXPECT_EQ(s.download(path), 0);
    Lines tail(s.log.end() - 7, s.log.end());
    EXPECT_EQ(tail,
              (Lines{"0x10010000:From erase time out", "0x10010000:From pokew success",
                     "0x10010800:From pokew success", "0x10011000:From pokew success", "",
                     "From Write failure: 3 of 3 chunks not written", "Command practice fails."}));
}

TEST_F(MonitorOnCom1, AnUnansweredWordFailsItsChunkAndTheCommandWhileTheOtherChunksAreWritten) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    ASSERT_EQ(device->command("drop-ack 10010802"), "ok");
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(4097));
    EXPECT_EQ(s.download(path), 0);
    Lines tail(s.log.end() - 7, s.log.end());
    EXPECT_EQ(tail,
              (Lines{"0x10010000:From erase success", "0x10010000:From pokew success",
                     "0x10010800:From pokew time out", "0x10011000:From pokew success", "",
                     "From Write failure: 1 of 3 chunks not written", "Command practice fails."}));
}

// An echo a few reads' waits late (this computer or the device busy for a moment) still
// acknowledges its word: the '/' at the echo's end is read, not lost to the empty reads.
TEST_F(MonitorOnCom1, AnEchoThatComesLateStillAcknowledgesItsWord) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(4096));
    auto job = std::async(std::launch::async, [&] { return s.download(path); });
    // Well into the words of the first chunk.
    ASSERT_TRUE(testenv::eventually([&] { return device->line().received().size() > 20000; }, 60s));
    ASSERT_EQ(device->command("stall 160"), "ok");
    EXPECT_EQ(job.get(), 1);
    EXPECT_EQ(Lines(s.log.end() - 4, s.log.end()),
              (Lines{"0x10010000:From pokew success", "0x10010800:From pokew success", "",
                     "All From Write success"}));
    EXPECT_EQ(device->flashBytes(0x10010000, 4096), randomBytes(4096));
}

// A status poll answered after its wait tells nothing, and its late reply is not read for the
// next poll's: the erase goes on polling and settles.
TEST_F(MonitorOnCom1, AnErasePollAnsweredLateIsFollowedByAnother) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    ASSERT_EQ(device->command("erase-busy 6"), "ok");
    // The two word reads of the set-up come first; the third is the erase's first poll.
    ASSERT_EQ(device->command("stall 300 3"), "ok");
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(2048));
    EXPECT_EQ(s.download(path), 1);
    EXPECT_EQ(Lines(s.log.end() - 4, s.log.end()),
              (Lines{"0x10010000:From erase success", "0x10010000:From pokew success", "",
                     "All From Write success"}));
    EXPECT_EQ(device->flashBytes(0x10010000, 2048), randomBytes(2048));
}

TEST_F(MonitorOnCom1, AnEraseOfADeviceThatFallsSilentIsNotTakenForSettled) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    s.startDownload(writeImage(env.dir(), "app.bin", randomBytes(2048)));
    // Once the flash's first word is read, the device answers nothing more.
    ASSERT_TRUE(s.waitForLine("0x10000000:0x" + [&] {
        char buf[8];
        std::snprintf(buf, sizeof buf, "%04X", device->initialFlashWord(0x10000000));
        return std::string(buf);
    }()));
    ASSERT_EQ(device->command("silent on"), "ok");
    EXPECT_EQ(s.finish(), 0);
    Lines tail(s.log.end() - 5, s.log.end());
    EXPECT_EQ(tail,
              (Lines{"0x10010000:From erase time out", "0x10010000:From pokew time out", "",
                     "From Write failure: 1 of 1 chunks not written", "Command practice fails."}));
}

TEST_F(MonitorOnCom1, CancelEndsTheWaitForThePrompt) {
    start(0);
    ASSERT_EQ(device->command("silent on"), "ok");
    s.choose(ConfigChoice::Bootstrap);
    s.startDownload(writeImage(env.dir(), "app.bin", randomBytes(16)));
    ASSERT_TRUE(testenv::eventually(
        [&] {
            Bytes r = device->line().received();
            return std::count(r.begin(), r.end(), 'A') >= 3;
        },
        20s));
    s.worker.RequestCancel();
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(s.log.back(), "Command practice fails.");
}

TEST_F(MonitorOnCom1, AVanishedLineEndsTheFlashWriting) {
    start(0);
    s.choose(ConfigChoice::Bootstrap);
    s.startDownload(writeImage(env.dir(), "app.bin", randomBytes(64 * 1024)));
    ASSERT_TRUE(s.waitForLine("0x10010000:From erase success"));
    device->vanish();
    EXPECT_EQ(s.finish(), 0);
    Lines tail(s.log.end() - 3, s.log.end());
    EXPECT_EQ(tail, (Lines{"RS line can't be used.", kolvanetest::lineLost(1),
                           "Command practice fails."}));
}
