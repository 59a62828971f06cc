#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <unistd.h>

#include "picture/engine/capture_protocol.h"
#include "serial/serial_com.h"
#include "tests/picture/picture_test_support.h"

using namespace std::chrono_literals;
using picturetest::bytesOf;
using picturetest::countByte;
using picturetest::ScannerFixture;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kDefaultRequest = "\x1b((\r@VELT,   0,   0,1279,1023,1,8,0, 65,1,1,0,0#";
const std::string kReset = "\x1bZ1\r";

// What the scanner hears for one whole picture of `blocks` blocks, header included.
Bytes wholePictureBytes(const std::string& request, std::size_t blocks) {
    std::string s = "\x17\x17";        // FindDevice wakes the scanner
    s += "\x17";                       // the capture thread's idle cycle
    s += "\r" + request;               // the request
    s += std::string(blocks, '\x06');  // one ACK a block
    s += kReset;                       // after the last block
    s += "\x17" + kReset;              // the reset that closes the line
    return bytesOf(s);
}

bool triggerWhenWaiting(sim::ScannerDevice& scanner) {
    return testenv::eventually([&] { return scanner.trigger() == "triggered"; }, 10s);
}

}  // namespace

TEST_F(ScannerFixture, AJpegPictureArrivesByteForByteWithTheExactRequestAndAnAckPerBlock) {
    Bytes jpeg = picturetest::smallJpeg();
    scanner.setPicture(jpeg);
    scanner.setBlockSize(256);
    std::size_t dataBlocks = (jpeg.size() + 255) / 256;
    ASSERT_GE(dataBlocks, 3u);

    // The defaults of the window: JPEG, snapshot on, window 0,0,1279,1023, quality 65.
    ASSERT_TRUE(startPicture(true, true));
    ASSERT_TRUE(triggerWhenWaiting(scanner));
    EXPECT_EQ(waitForEnd(), CaptureOutcome::Delivered);

    auto pictures = received();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_FALSE(pictures[0].header);
    EXPECT_EQ(pictures[0].data, jpeg);

    Bytes expected = wholePictureBytes(kDefaultRequest, 1 + dataBlocks);
    scanner.line().waitReceived(expected.size(), 2s);
    EXPECT_EQ(scanner.line().received(), expected);
    ASSERT_EQ(scanner.requests().size(), 1u);
    EXPECT_EQ(scanner.requests()[0].text, kDefaultRequest);

    std::vector<int> steps;
    for (std::size_t j = 0; j < dataBlocks; ++j) steps.push_back(int((j + 1) * 100 / dataBlocks));
    steps.push_back(0);
    EXPECT_EQ(progressSeen(), steps);
    EXPECT_TRUE(messages.all().empty());
    EXPECT_FALSE(engine->IsCapturing());
}

TEST_F(ScannerFixture, AnUncompressedPictureArrivesAsRowsDescribedByItsOwnSize) {
    engine->SetWindow(10, 20, 109, 49);  // 100 x 30
    ASSERT_EQ(takePicture(false), CaptureOutcome::Delivered);
    auto pictures = received();
    ASSERT_EQ(pictures.size(), 1u);
    ASSERT_TRUE(pictures[0].header);
    EXPECT_EQ(pictures[0].header->width, 100);
    EXPECT_EQ(pictures[0].header->height, -30);
    EXPECT_EQ(pictures[0].header->bitCount, 8);
    EXPECT_EQ(pictures[0].header->palette[200], (std::array<std::uint8_t, 4>{200, 200, 200, 0}));
    EXPECT_EQ(pictures[0].data, scanner.lastPicture());
    EXPECT_EQ(pictures[0].data.size(), 3000u);
    EXPECT_EQ(scanner.requests().back().text,
              "\x1b((\r@VELT,  10,  20, 109,  49,1,8,0, 65,0,3,0,0#");
}

TEST_F(ScannerFixture, AHeaderAnnouncingOneBlockGivesAnEmptyPictureAndStillEndsWithTheReset) {
    scanner.setFaults({.announcedBlocks = 1});
    ASSERT_EQ(takePicture(), CaptureOutcome::Delivered);
    auto pictures = received();
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_TRUE(pictures[0].data.empty());
    std::string request = scanner.requests().back().text;
    Bytes expected = wholePictureBytes(request, 1);
    scanner.line().waitReceived(expected.size(), 2s);
    EXPECT_EQ(scanner.line().received(), expected);
    EXPECT_EQ(progressSeen(), std::vector<int>{0});
}

TEST_F(ScannerFixture, NoiseBeforeABlocksStartMarkIsSkipped) {
    engine->SetWindow(0, 0, 63, 47);
    scanner.setBlockSize(600);
    for (int block : {0, 2}) {
        scanner.setFaults({.noiseBeforeBlock = block});
        forget();
        ASSERT_EQ(takePicture(), CaptureOutcome::Delivered) << "noise before block " << block;
        ASSERT_EQ(received().size(), 1u);
        EXPECT_EQ(received()[0].data, scanner.lastPicture());
    }
    EXPECT_TRUE(messages.all().empty());
}

TEST_F(ScannerFixture, ARefusedQualityLeavesThePreviousOneInTheRequest) {
    engine->SetWindow(0, 0, 31, 31);
    EXPECT_TRUE(engine->SetQuality(40));
    EXPECT_FALSE(engine->SetQuality(62));
    EXPECT_FALSE(engine->SetQuality(0));
    EXPECT_FALSE(engine->SetQuality(-5));
    EXPECT_EQ(engine->Quality(), 40);
    ASSERT_EQ(takePicture(), CaptureOutcome::Delivered);
    EXPECT_EQ(scanner.requests().back().text,
              "\x1b((\r@VELT,   0,   0,  31,  31,1,8,0, 40,0,1,0,0#");
    EXPECT_EQ(scanner.requests().back().quality, 40);
}

TEST_F(ScannerFixture, AChattyScannerIsPurgedUntilTheLineIsQuietBeforeTheRequest) {
    scanner.setEtbReply("\x15 busy\r");  // answers every ETB, the idle cycle's included
    engine->SetWindow(0, 0, 31, 31);
    ASSERT_EQ(takePicture(), CaptureOutcome::Delivered);
    EXPECT_EQ(received().at(0).data, scanner.lastPicture());
}

TEST_F(ScannerFixture, CancelDuringTheTransferEndsItWithoutAMessageAndTheScannerIsReset) {
    engine->SetWindow(0, 0, 99, 59);
    scanner.setBlockSize(64);  // about a hundred blocks: far more than the transfer lives
    auto blocksStarted = [&] {
        auto seen = progressSeen();
        return std::count_if(seen.begin(), seen.end(), [](int percent) { return percent > 0; });
    };
    ASSERT_TRUE(startPicture(false, false));
    ASSERT_TRUE(testenv::eventually([&] { return blocksStarted() >= 3; }, 10s));
    engine->StopCapture();
    EXPECT_EQ(waitForEnd(), CaptureOutcome::Aborted);

    Bytes seen = scanner.line().received();
    std::size_t acks = countByte(seen, 0x06);
    // The header's, the blocks started before the cancel and at most one under way: a
    // handful of the hundred the picture has.
    EXPECT_LE(acks, 6u);
    std::this_thread::sleep_for(300ms);
    Bytes later = scanner.line().received();
    EXPECT_EQ(countByte(later, 0x06), acks);  // nothing acknowledged after the cancel
    // After the last ACK the scanner was told to stop and reset.
    auto lastAck = std::find(later.rbegin(), later.rend(), 0x06).base();
    std::string tail(lastAck, later.end());
    EXPECT_NE(tail.find("\x17"), std::string::npos);
    EXPECT_NE(tail.find(kReset), std::string::npos);
    EXPECT_TRUE(messages.all().empty());
    EXPECT_TRUE(received().empty());

    scanner.setBlockSize(1304);
    ASSERT_EQ(takePicture(), CaptureOutcome::Delivered);  // usable again
}

TEST_F(ScannerFixture, InSnapshotModeTheEngineWaitsPastTheHeaderLimitUntilCancelled) {
    ASSERT_TRUE(startPicture(true, true));
    ASSERT_TRUE(testenv::eventually(
        [&] { return scanner.command("status").find("waiting") != std::string::npos; }));
    std::this_thread::sleep_for(2500ms);  // longer than the 2 s a non-snapshot picture waits
    EXPECT_TRUE(engine->IsCapturing());
    engine->StopCapture();
    EXPECT_EQ(waitForEnd(), CaptureOutcome::Aborted);
    std::string request = scanner.requests().back().text;
    std::string expected = "\x17\x17\x17\r" + request;
    Bytes seen = scanner.line().received();
    ASSERT_GE(seen.size(), expected.size());
    EXPECT_EQ(std::string(seen.begin(), seen.begin() + long(expected.size())), expected);
    std::string after(seen.begin() + long(expected.size()), seen.end());
    EXPECT_EQ(after.find('\x06'), std::string::npos);
    EXPECT_NE(after.find("\x17"), std::string::npos);
    EXPECT_NE(after.find(kReset), std::string::npos);
    EXPECT_TRUE(messages.all().empty());
}

TEST_F(ScannerFixture, TheDestructorEndsAWaitingCaptureAndWaitsForARunningImageCallback) {
    // At once after the start, and while the scanner waits for its trigger: neither may hang
    // on the unlimited snapshot wait.
    for (bool waiting : {false, true}) {
        ASSERT_TRUE(startPicture(true, true));
        if (waiting) {
            ASSERT_TRUE(testenv::eventually(
                [&] { return scanner.command("status").find("waiting") != std::string::npos; }));
        }
        engine.reset();
        engine = std::make_unique<CImageVideo>(kCom, messages.queue());
    }
    EXPECT_TRUE(messages.all().empty());

    std::atomic<bool> callbackEnded{false};
    std::atomic<bool> callbackStarted{false};
    engine->SetWindow(0, 0, 31, 31);
    engine->SetImageCallback([&](const pictavo::BitmapInfo*, const std::uint8_t*, std::size_t) {
        callbackStarted = true;
        std::this_thread::sleep_for(300ms);  // a viewer the user looks at
        callbackEnded = true;
    });
    ASSERT_TRUE(startPicture(true, false));
    ASSERT_TRUE(testenv::eventually([&] { return bool(callbackStarted); }, 10s));
    engine.reset();
    EXPECT_TRUE(callbackEnded);
}

TEST_F(ScannerFixture, TakingAnotherPictureWhileOneRunsSaysSoAndLeavesItsLineAlone) {
    ASSERT_TRUE(startPicture(true, true));
    ASSERT_TRUE(testenv::eventually(
        [&] { return scanner.command("status").find("waiting") != std::string::npos; }));
    EXPECT_FALSE(engine->FindDevice(true));
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_EQ(messages.texts()[0],
              "Cannot open COM port\nA picture is still being taken on COM5: wait for it or cancel "
              "it first.");
    ASSERT_TRUE(triggerWhenWaiting(scanner));
    EXPECT_EQ(waitForEnd(), CaptureOutcome::Delivered);
}

TEST_F(ScannerFixture, FindDeviceChecksThePortListAndTheMakersName) {
    EXPECT_TRUE(engine->FindDevice(false));
    EXPECT_TRUE(engine->IsReady());

    CImageVideo elsewhere(6, messages.queue());
    EXPECT_FALSE(elsewhere.FindDevice(true));
    EXPECT_FALSE(elsewhere.IsReady());

    sim::ScannerDevice anonymous;
    ASSERT_TRUE(anonymous.start(env.mapFile(), 7, "USB Serial Port (COM7)"));
    CImageVideo plain(7, messages.queue());
    EXPECT_FALSE(plain.FindDevice(false));
    EXPECT_TRUE(plain.FindDevice(true));
    EXPECT_TRUE(plain.IsReady());

    EXPECT_EQ(messages.texts(),
              (std::vector<std::string>{"Port not found.\n" + picturetest::lookedFor(6),
                                        "Cannot find compatible device."}));
    for (const auto& m : messages.all()) {
        EXPECT_EQ(m.caption, "");
        EXPECT_EQ(m.icon, pictavo::MessageIcon::None);
    }
    // The line is at 115200 8N1 and the scanner was woken twice.
    ASSERT_TRUE(anonymous.line().waitReceived(2, 2s));
    EXPECT_EQ(anonymous.line().received(), bytesOf("\x17\x17"));
    EXPECT_EQ(anonymous.line().programSettings()->baudRate, 115200u);
    EXPECT_EQ(anonymous.line().programSettings()->stopBits, platform::stopbits::One);
}

TEST_F(ScannerFixture, NoPortsAtAllIsReportedAsSuch) {
    scanner.stop();
    EXPECT_FALSE(engine->FindDevice(true));
    EXPECT_EQ(messages.texts(),
              std::vector<std::string>{"No ports found.\n" + picturetest::lookedFor(5)});
}

TEST_F(ScannerFixture, APortHeldByAnotherOpenNamesTheHolderOnASecondLine) {
    CSerialCom holder;
    ASSERT_TRUE(holder.Open(kCom));
    EXPECT_FALSE(engine->FindDevice(true));
    EXPECT_FALSE(engine->IsReady());
    ASSERT_EQ(messages.texts().size(), 1u);
    std::string text = messages.texts()[0];
    EXPECT_EQ(text.rfind("Cannot open COM port\nCOM5 is in use by ", 0), 0u) << text;
    EXPECT_NE(text.find("(pid " + std::to_string(::getpid()) + "): close that program first."),
              std::string::npos)
        << text;
    holder.Close();
    EXPECT_TRUE(engine->FindDevice(true));  // the whole check again, and now it works
}

TEST_F(ScannerFixture, SendCommandWithoutAReplyWritesAndClosesAtOnce) {
    int length = -1;
    char reply[CImageVideo::kReplyBufferSize];
    EXPECT_TRUE(engine->SendCommand("\x1bZ2\r", 4, reply, sizeof reply, false, length, 300));
    EXPECT_EQ(length, 0);
    CSerialCom other;
    EXPECT_TRUE(other.Open(kCom)) << "the engine still holds the line";
    ASSERT_TRUE(scanner.line().waitReceived(4, 2s));
    EXPECT_EQ(scanner.line().received(), bytesOf("\x1bZ2\r"));
}

TEST_F(ScannerFixture, SendCommandGathersTheReplyAndCutsItAt2047Bytes) {
    std::vector<char> reply(14000, 'x');
    int length = 0;
    ASSERT_TRUE(engine->FindDevice(true));
    EXPECT_TRUE(engine->SendCommand("\x1bZ1\r", 4, reply.data(), reply.size(), true, length, 300));
    EXPECT_EQ(std::string(reply.data(), std::size_t(length)), "Veltrix 2D Imager SIM V1.10\r");
    EXPECT_EQ(reply[std::size_t(length)], '\0');

    std::string longReply;
    for (int i = 0; i < 3000; ++i) longReply += char('A' + i % 26);
    longReply[5] = '\0';  // a zero byte inside the reply does not end it
    scanner.setReply("[OOT", longReply);
    EXPECT_TRUE(
        engine->SendCommand("\x1b[OOT\r", 6, reply.data(), reply.size(), true, length, 1000));
    ASSERT_EQ(length, 2047);
    EXPECT_EQ(std::string(reply.data(), 2047), longReply.substr(0, 2047));
    EXPECT_EQ(reply[2047], '\0');

    // The rest stayed behind and went with the next purge.
    EXPECT_TRUE(engine->SendCommand("\x1bZ1\r", 4, reply.data(), reply.size(), true, length, 300));
    EXPECT_EQ(std::string(reply.data(), std::size_t(length)), "Veltrix 2D Imager SIM V1.10\r");
}

TEST_F(ScannerFixture, APictureAfterACommandStillArrivesWhole) {
    char reply[CImageVideo::kReplyBufferSize];
    int length = 0;
    ASSERT_TRUE(engine->FindDevice(true));
    EXPECT_TRUE(engine->SendCommand("\x1b[OOQ\r", 6, reply, sizeof reply, true, length, 300));
    EXPECT_EQ(std::string(reply, std::size_t(length)), "LASER OK\r");
    engine->SetWindow(0, 0, 63, 63);
    ASSERT_EQ(takePicture(), CaptureOutcome::Delivered);  // the reply thread took none of its bytes
    EXPECT_EQ(received().at(0).data, scanner.lastPicture());
}

// ---- faults: each ends the capture as the failure table says and leaves the engine usable ----

struct Fault {
    const char* name;
    sim::ScannerFaults faults;
    bool silent = false;
    bool vanish = false;
    bool tinyWindowForABigPicture = false;
    CaptureOutcome outcome;
    bool blockErrorMessage;
};

class CaptureFault : public ScannerFixture, public ::testing::WithParamInterface<Fault> {};

TEST_P(CaptureFault, EndsTheCaptureAsItShouldAndTheNextPictureArrives) {
    const Fault& f = GetParam();
    engine->SetWindow(0, 0, 79, 59);
    scanner.setBlockSize(500);
    scanner.setFaults(f.faults);
    if (f.silent) scanner.command("silent on");
    if (f.tinyWindowForABigPicture) {
        scanner.setPicture(picturetest::smallJpeg(64, 64));  // more bytes than 8 x 8 / 1
        engine->SetWindow(0, 0, 7, 7);
    }
    EXPECT_EQ(takePicture(), f.outcome);
    EXPECT_TRUE(received().empty());
    if (f.blockErrorMessage) {
        auto all = messages.all();
        ASSERT_EQ(all.size(), 1u);
        // A line that hung up says so on the box's second line.
        EXPECT_EQ(all[0].text,
                  f.vanish
                      ? "ReceiveDataBlockError\nThe line to COM5 was lost: check that the scanner "
                        "is plugged in and its port is still in the port map."
                      : "ReceiveDataBlockError");
        EXPECT_EQ(all[0].caption, "Error");
        EXPECT_EQ(all[0].icon, pictavo::MessageIcon::Error);
        ASSERT_FALSE(progressSeen().empty());
        EXPECT_EQ(progressSeen().back(), 0);
    } else {
        EXPECT_TRUE(messages.all().empty());
        EXPECT_TRUE(progressSeen().empty());  // progress stays hidden
    }
    if (!f.vanish) {
        // The engine broke off with ETB and closed the line.
        EXPECT_TRUE(testenv::eventually([&] {
            Bytes seen = scanner.line().received();
            return !seen.empty() && seen.back() == 0x17;
        })) <<
            [&] {
                Bytes seen = scanner.line().received();
                return ::testing::PrintToString(
                    Bytes(seen.end() - std::min<long>(12, long(seen.size())), seen.end()));
            }();
        CSerialCom other;
        EXPECT_TRUE(other.Open(kCom));
    }

    scanner.setFaults({});
    scanner.setPicture({});
    scanner.command("silent off");
    if (f.vanish) {
        ASSERT_TRUE(
            scanner.start(env.mapFile(), kCom, "Veltrix 2D Scanner (COM5)"));  // plugged in again
    }
    forget();
    engine->SetWindow(0, 0, 79, 59);
    EXPECT_EQ(takePicture(), CaptureOutcome::Delivered);
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].data, scanner.lastPicture());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, CaptureFault,
    ::testing::Values(
        Fault{"BadEnd", {.badEndBlock = 2}, false, false, false, CaptureOutcome::BlockError, true},
        Fault{"MissingBlock",
              {.missingBlock = 2},
              false,
              false,
              false,
              CaptureOutcome::BlockError,
              true},
        Fault{"OversizedBlock",
              {.oversizeBlock = 1},
              false,
              false,
              false,
              CaptureOutcome::BlockError,
              true},
        Fault{"PastTheImageBuffer", {}, false, false, true, CaptureOutcome::BlockError, true},
        Fault{"VanishedLine",
              {.vanishAtBlock = 2},
              false,
              true,
              false,
              CaptureOutcome::LineLost,
              true},
        Fault{"OversizedHeader",
              {.oversizeBlock = 0},
              false,
              false,
              false,
              CaptureOutcome::BadHeader,
              false},
        Fault{"BadHeaderEnd",
              {.badEndBlock = 0},
              false,
              false,
              false,
              CaptureOutcome::BadHeader,
              false},
        Fault{"ShortHeader",
              {.shortHeader = true},
              false,
              false,
              false,
              CaptureOutcome::BadHeader,
              false},
        Fault{"DivisorZero",
              {.divisorZero = true},
              false,
              false,
              false,
              CaptureOutcome::NoImageBuffer,
              false},
        Fault{"Silence", {}, true, false, false, CaptureOutcome::NoHeader, false}),
    [](const ::testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });
