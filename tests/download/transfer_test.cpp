// The block transfer against the simulated Z7 device: edge cases on the wire, faults,
// a vanished line and cancellation.
#include "tests/download/download_session.h"
#include "tests/download/expected_lines.h"

#include "download/engine/block_transfer.h"
#include "download/engine/flash_writer.h"

using namespace std::chrono_literals;
using kolvane::CDownloadThread;
using kolvane::ConfigChoice;
using namespace dltest;

namespace {

struct TransferOnCom1 : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::Z7Device device;
    Session s;

    void SetUp() override {
        ASSERT_TRUE(device.start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
        ASSERT_EQ(s.post(CDownloadThread::kOpenLine), 1);
    }
    // 16-byte blocks without the mode-switch commands: the quickest transfer there is.
    void chooseQuickKind() {
        s.choose(ConfigChoice::Bin8kOld);
        s.choose(ConfigChoice::MotHex);
    }
    Lines quickKindLines() const {
        return {"RS line is secured.", "Change UseZwFlg : 0", "Change RsBkSize : 8192",
                "Change RsBkSize : 16"};
    }
    static std::size_t count(const Lines& log, const std::string& line) {
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), line));
    }
};

}  // namespace

TEST_F(TransferOnCom1, AnEmptyImageIsRefusedBeforeAnythingIsSent) {
    // Sent, it would be a stop frame alone and a device told its flash is written.
    for (const char* name : {"app.bin", "Boot.BIN", "FONT.TTF"}) {
        std::string path = writeImage(env.dir(), name, {});
        s.log.clear();
        EXPECT_EQ(s.download(path), 0);
        Lines expected = {"Open File : " + path, "An input file was opened.",
                          path + " is empty: there is nothing to download.",
                          "Command practice fails."};
        EXPECT_EQ(s.log, expected);
    }
    EXPECT_TRUE(device.line().received().empty());
}

TEST_F(TransferOnCom1, SwappedLettersUnknownRepliesAndRejectionsAreServedAsTheyShouldBe) {
    chooseQuickKind();
    ASSERT_EQ(device.command("swap on"), "ok");
    ASSERT_EQ(device.command("reject 2"), "ok");
    ASSERT_EQ(device.command("unknown 3"), "ok");
    Bytes image = randomBytes(48);
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    EXPECT_EQ(s.download(path), 1);
    // Rejections are logged with the counter, one above the block sent; unknown replies are
    // not logged (they count towards the retransmission limit, below).
    Lines expected =
        quickKindLines() + Lines{"Open File : " + path, "An input file was opened.",
                                 "RS line is secured.", "1:Transfer failure (re-transfer start)",
                                 "1:Transfer failure (re-transfer start)"};
    EXPECT_EQ(s.log, expected + transferEnd());
    EXPECT_EQ(device.blocks(), expectedBlocks(image, 16, 0));
    // Block 0 went out six times unchanged, then blocks 1 and 2, then the stop frame.
    Bytes wire = device.line().received();
    ASSERT_EQ(wire.size(), 9u * 42);
    for (int i = 1; i < 6; ++i)
        EXPECT_TRUE(std::equal(wire.begin(), wire.begin() + 42, wire.begin() + 42 * i)) << i;
    EXPECT_EQ(wire[8 * 42], 'E');
}

TEST_F(TransferOnCom1, AWriteTimeOutFollowedByAcceptanceCountsAsAccepted) {
    // A frame longer than the line's buffers, and a device that stops reading for longer
    // than the write may take: the write times out, the rest still goes out, and "NX" comes.
    s.choose(ConfigChoice::Bin8kOld);
    ASSERT_EQ(s.post(CDownloadThread::kSetBlockSize, 0xFFFF), 1);
    Bytes image = randomBytes(0xFFFF);
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    ASSERT_EQ(device.command("stall 8000"), "ok");
    EXPECT_EQ(s.download(path), 1);
    Lines expected = {"RS line is secured.",         "Change UseZwFlg : 0",
                      "Change RsBkSize : 8192",      "Open File : " + path,
                      "An input file was opened.",   "RS line is secured.",
                      "1:Data transmitting time out"};
    EXPECT_EQ(s.log, expected + transferEnd());
    EXPECT_EQ(device.blocks(), expectedBlocks(image, 0xFFFF, 0));
    EXPECT_EQ(device.badFrames(), 0);
}

TEST_F(TransferOnCom1, AMissingReplyTimesOutAndTheBlockIsSentAgain) {
    chooseQuickKind();
    ASSERT_EQ(device.command("mute 1"), "ok");
    Bytes image = randomBytes(16);
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    EXPECT_EQ(s.download(path), 1);
    Lines expected = quickKindLines() + Lines{"Open File : " + path, "An input file was opened.",
                                              "RS line is secured.", "1:Result receiving time out",
                                              "1:Transfer failure (re-transfer start)"};
    EXPECT_EQ(s.log, expected + transferEnd());
    EXPECT_EQ(device.line().received().size(), 3u * 42);
}

namespace {

// The stop frame follows the last block after a pause of a second: time enough to mute the
// device for it once the block is in.
void muteForTheStopFrame(sim::Z7Device& device, const std::string& count) {
    ASSERT_TRUE(testenv::eventually([&] { return device.blockCount() >= 1; }, 20s));
    ASSERT_EQ(device.command("mute " + count), "ok");
}

}  // namespace

TEST_F(TransferOnCom1, AnUnansweredStopFrameIsSentAgain) {
    chooseQuickKind();
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(16));
    s.startDownload(path);
    muteForTheStopFrame(device, "1");
    EXPECT_EQ(s.finish(), 1);
    Lines expected =
        quickKindLines() + Lines{"Open File : " + path, "An input file was opened.",
                                 "RS line is secured.", "Receiving stop directions transmission",
                                 "Receiving stop directions result receiving time out"};
    EXPECT_EQ(s.log, expected + transferEnd());
    EXPECT_EQ(device.stopFrames(), 2);
}

TEST_F(TransferOnCom1, AFlashWriteFailureFailsTheDownloadAfterTheEndReport) {
    chooseQuickKind();
    ASSERT_EQ(device.command("flash-fail on"), "ok");
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(20));
    EXPECT_EQ(s.download(path), 0);
    Lines tail(s.log.end() - 4, s.log.end());
    EXPECT_EQ(tail, (Lines{"FROM block: Initialization completion", "FROM block: Writing failure",
                           "All the FROM writing completion", "Command practice fails."}));
}

TEST_F(TransferOnCom1, AStrayReplyIsNotTakenForTheAnswerToTheNextFrame) {
    // An answer queued before a frame goes out answers nothing sent; were it kept, every later
    // reply would be read one frame late.
    chooseQuickKind();
    ASSERT_EQ(device.command("stray 1 RT"), "ok");
    Bytes image = randomBytes(48);
    std::string path = writeImage(env.dir(), "Boot.bin", image);
    EXPECT_EQ(s.download(path), 1);
    Lines expected = quickKindLines() + Lines{"Open File : " + path, "An input file was opened.",
                                              "RS line is secured."};
    EXPECT_EQ(s.log, expected + transferEnd());
    EXPECT_EQ(device.blocks(), expectedBlocks(image, 16, 0));
    EXPECT_EQ(device.line().received().size(), 4u * 42);
}

TEST_F(TransferOnCom1, AVanishedLineEndsTheWaitForFlashReports) {
    chooseQuickKind();
    ASSERT_EQ(device.command("reports off"), "ok");
    s.startDownload(writeImage(env.dir(), "Boot.bin", randomBytes(16)));
    ASSERT_TRUE(s.waitForLine("All the file data transmitting completion"));
    device.vanish();
    EXPECT_EQ(s.finish(), 0);
    Lines tail(s.log.end() - 3, s.log.end());
    EXPECT_EQ(tail, (Lines{"RS line can't be used.", kolvanetest::lineLost(1),
                           "Command practice fails."}));
}

TEST_F(TransferOnCom1, AVanishedLineEndsTheTransferAndLeavesNoLine) {
    chooseQuickKind();
    std::string path = writeImage(env.dir(), "Boot.bin", randomBytes(16 * 400));
    s.startDownload(path);
    ASSERT_TRUE(testenv::eventually([&] { return device.blockCount() >= 3; }, 20s));
    device.vanish();
    EXPECT_EQ(s.finish(), 0);
    Lines tail(s.log.end() - 3, s.log.end());
    EXPECT_EQ(tail, (Lines{"RS line can't be used.", kolvanetest::lineLost(1),
                           "Command practice fails."}));
    EXPECT_EQ(s.download(path), 0);
    tail.assign(s.log.end() - 2, s.log.end());
    EXPECT_EQ(tail, (Lines{"RS line for Download can't be used.", "Command practice fails."}));
}

TEST_F(TransferOnCom1, CancelEndsTheWaitForAReply) {
    chooseQuickKind();
    ASSERT_EQ(device.command("mute 1000"), "ok");
    s.startDownload(writeImage(env.dir(), "Boot.bin", randomBytes(64)));
    ASSERT_TRUE(testenv::eventually([&] { return device.blockCount() >= 1; }, 20s));
    s.worker.RequestCancel();
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(count(s.log, "1:Result receiving time out"), 0u);
    EXPECT_EQ(s.log.back(), "Command practice fails.");
}

TEST_F(TransferOnCom1, CancelEndsTheStopPhase) {
    chooseQuickKind();
    s.startDownload(writeImage(env.dir(), "Boot.bin", randomBytes(16)));
    muteForTheStopFrame(device, "1000");
    ASSERT_TRUE(testenv::eventually([&] { return device.stopFrames() >= 1; }, 20s));
    s.worker.RequestCancel();
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(count(s.log, "Receiving stop directions result receiving time out"), 0u);
    EXPECT_EQ(count(s.log, "All the file data transmitting completion"), 0u);
}

TEST_F(TransferOnCom1, CancelEndsTheWaitForFlashReports) {
    chooseQuickKind();
    ASSERT_EQ(device.command("reports off"), "ok");
    s.startDownload(writeImage(env.dir(), "Boot.bin", randomBytes(16)));
    ASSERT_TRUE(s.waitForLine("All the file data transmitting completion"));
    s.worker.RequestCancel();
    EXPECT_EQ(s.finish(), 0);
    EXPECT_EQ(count(s.log, "FROM block writing result receiving time out"), 0u);
    EXPECT_EQ(count(s.log, "All the FROM writing completion"), 0u);
}

TEST_F(TransferOnCom1, CancelEndsThePreparation) {
    s.startDownload(writeImage(env.dir(), "app.bin", randomBytes(16)));
    ASSERT_TRUE(s.waitForLine("An input file was opened."));
    s.worker.RequestCancel();
    EXPECT_EQ(s.finish(), 0);
    EXPECT_LT(device.modeSwitches().size(), 4u);
    EXPECT_TRUE(device.blocks().empty());
}

TEST_F(TransferOnCom1, APortThatDoesNotExistLeavesNoLineForADownload) {
    EXPECT_EQ(s.post(CDownloadThread::kSetPort, 9), 0);
    std::string path = writeImage(env.dir(), "app.bin", randomBytes(16));
    EXPECT_EQ(s.download(path), 0);
    EXPECT_EQ(s.post(CDownloadThread::kSetPort, 1), 1);
    EXPECT_EQ(s.download(env.dir().file("missing.bin")), 0);
    using kolvanetest::notInPortMap;
    EXPECT_EQ(
        s.log,
        (Lines{"RS line is secured.", "RS line can't be used.", notInPortMap(9),
               "Command practice fails.", "Open File : " + path,
               "RS line for Download can't be used.", notInPortMap(9), "Command practice fails.",
               "RS line is secured.", "Open File : " + env.dir().file("missing.bin"),
               "An input file didn't open it.",
               kolvanetest::noSuchFile(env.dir().file("missing.bin")), "Command practice fails."}));
    // Another program holding the port: the open fails the same way.
    sim::Z7Device other;
    ASSERT_TRUE(other.start(env.mapFile(), 2, "Z7 (COM2)"));
    platform::SerialDevice holder;
    ASSERT_TRUE(holder.open(other.line().devicePath()));
    EXPECT_EQ(s.post(CDownloadThread::kSetPort, 2), 0);
}

TEST_F(TransferOnCom1, CommandsOutsideTheTableAndBadBlockSizes) {
    EXPECT_EQ(s.post(CDownloadThread::kOpenLine), 1);  // opening an open line reopens it
    s.worker.PostThreadCommand(5);
    s.worker.PostThreadMessage(kolvane::encodeCommand(24) & ~0xFFu, {});  // low byte not 1: ignored
    EXPECT_EQ(s.post(CDownloadThread::kCloseLine), 1);
    EXPECT_EQ(s.completions, 3);  // the two opens and the close
    EXPECT_EQ(s.notices, (std::vector<std::string>{"DIO line Error"}));
    EXPECT_EQ(s.post(CDownloadThread::kSetBlockSize, 0), 0);
    EXPECT_EQ(s.post(CDownloadThread::kSetBlockSize, 0x10000), 0);
    EXPECT_EQ(s.post(CDownloadThread::kSetBlockSize, 16), 1);
    EXPECT_EQ(s.post(CDownloadThread::kSetSaveAddress, 0x001FC000), 1);
}

namespace {

// A job run on the test's own thread, with a short silence notice; the notice cancels the job
// when stopOnNotice is set, as the user's time limit would later.
struct NoValidReply : ::testing::Test {
    static constexpr const char* kNotice =
        "No valid reply from the device for 1 s; still trying until the time limit";
    testenv::IsolatedPorts env;
    platform::CancelFlag cancel;
    kolvane::DownloadLine line{cancel};
    kolvane::DownloadSettings settings;
    Lines log;
    bool stopOnNotice = true;
    kolvane::DownloadJob job{line,
                             settings,
                             cancel,
                             [this](const std::string& l) {
                                 log.push_back(l);
                                 if (stopOnNotice && l == kNotice) cancel.set();
                             },
                             {},
                             1s};
    std::unique_ptr<sim::Z7Device> device;

    void start(sim::Z7Device::Mode mode, const std::string& fault) {
        sim::Z7Device::Options o;
        o.mode = mode;
        device = std::make_unique<sim::Z7Device>(o);
        ASSERT_TRUE(device->start(env.mapFile(), 1, "Veltrix Z7 (COM1)"));
        ASSERT_EQ(device->command(fault), "ok");
    }
    static std::unique_ptr<kolvane::ImageReader> image(const Bytes& bytes) {
        return kolvane::ImageReader::fromBytes(bytes, false);
    }
};

}  // namespace

TEST_F(NoValidReply, ASilentDeviceIsSaidToBeSilentAndTheJobGoesOn) {
    start(sim::Z7Device::Mode::Download, "silent on");
    settings.RsBkSize = 16;
    auto reader = image(randomBytes(16));
    EXPECT_EQ(kolvane::transferImage(job, *reader, 0), 0);
    EXPECT_EQ(log, (Lines{"RS line is secured.", "1:Result receiving time out",
                          "1:Transfer failure (re-transfer start)", kNotice,
                          "Download cancelled at block 0: the device's flash may be incomplete."}));
}

TEST_F(NoValidReply, ASilentMonitorIsSaidToBeSilent) {
    start(sim::Z7Device::Mode::Bootstrap, "silent on");
    settings.RsBkSize = kolvane::kBootstrapBlockSize;
    auto reader = image(randomBytes(64));
    EXPECT_EQ(kolvane::writeFlash(job, *reader, 0x10010000), 0);
    EXPECT_EQ(log, (Lines{"RS line is secured.", kNotice,
                          "Download cancelled at block 0: the device's flash may be incomplete."}));
}

TEST_F(NoValidReply, UnknownRepliesAreNotValidOnesAndCountAsRetransmissions) {
    // 100 exchanges take at least 100 pauses of 20 ms, twice the notice's second.
    start(sim::Z7Device::Mode::Download, "unknown 100");
    settings.RsBkSize = 16;
    stopOnNotice = false;
    const Bytes bytes = randomBytes(32);
    auto reader = image(bytes);
    EXPECT_EQ(kolvane::transferImage(job, *reader, 0), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), kNotice), 1) << "said once";
    EXPECT_EQ(device->blocks(), expectedBlocks(bytes, 16, 0));

    // 256 unknown replies are served; the 257th ends the download.
    log.clear();
    ASSERT_EQ(device->command("unknown 257"), "ok");
    reader = image(bytes);
    EXPECT_EQ(kolvane::transferImage(job, *reader, 0), 0);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "1:Unknown reply QZ: the limit of 256 retransmissions is used up");
    ASSERT_EQ(device->command("unknown 256"), "ok");
    reader = image(bytes);
    EXPECT_EQ(kolvane::transferImage(job, *reader, 0), 1);
}
