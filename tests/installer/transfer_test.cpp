// The transfer component against lrzsz on the far end of COM5: sending to `rz --ymodem` and
// receiving from `sz --ymodem`, byte for byte, at the sizes around YMODEM's block edges.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "installer/engine/transfer_interface.h"
#include "installer/engine/veskctl1.h"
#include "tests/installer/component_test_support.h"
#include "tests/installer/lrzsz_peer.h"
#include "tests/support/no_new_threads.h"
#include "tests/support/test_env.h"

using namespace testcomponents;
namespace st = fenwald::vesk::status;

namespace {

constexpr int kCom = 5;
constexpr std::size_t kSizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 100 * 1024};

struct TransferOnCom5 : ::testing::Test {
    testenv::IsolatedPorts env;
    testpeer::LrzszPeer peer;
    CVeskctl1 transfer{buildTreeRegistry()};
    std::string outbox, inbox;

    void SetUp() override {
        if (testpeer::LrzszPeer::program("sz").empty()) GTEST_SKIP() << "lrzsz is not installed";
        ASSERT_TRUE(transfer.created()) << transfer.creationError();
        ASSERT_TRUE(peer.open(env.mapFile(), kCom));
        outbox = env.dir().file("outbox");
        inbox = env.dir().file("inbox");
        std::filesystem::create_directory(outbox);
        std::filesystem::create_directory(inbox);
        transfer.SetPort(kCom);
        transfer.SetBaudRate(115200);
        transfer.SetParity(0);
        transfer.SetDataBits(8);
        transfer.SetStopBits(0);
        transfer.setCharTimeout(fenwald::vesk::kDefaultCharTimeoutMs);
        transfer.setAnswerTimeout(fenwald::vesk::kDefaultAnswerTimeoutMs);
        transfer.setRetries(fenwald::vesk::kDefaultRetries);
        transfer.SetIrdaType(0);
    }

    static void expectForwardToOneStatus(const TransferEvents& e, const std::string& what) {
        EXPECT_TRUE(std::is_sorted(e.progress.begin(), e.progress.end())) << what;
        for (int p : e.progress) EXPECT_TRUE(p >= 0 && p <= 100) << what;
        EXPECT_EQ(e.statuses.size(), 1u) << what;
    }
};

TEST_F(TransferOnCom5, SendsToRzByteForByteAtEverySize) {
    for (std::size_t size : kSizes) {
        const std::string name = "out" + std::to_string(size) + ".bin";
        const std::string content = randomBytes(size, static_cast<unsigned>(size) + 1);
        testenv::writeFile(outbox + "/" + name, content);
        // rz started once the port is open, so its first 'C' is heard rather than flushed.
        ASSERT_EQ(transfer.TransmitFile(fenwald::vesk::kProtocol, outbox + "/" + name), 0);
        ASSERT_TRUE(peer.waitForComponentRate(115200));
        ASSERT_TRUE(peer.start({"rz", "--ymodem"}, inbox));
        TransferEvents e = transferEvents(transfer);
        EXPECT_EQ(peer.wait(), 0) << peer.log();
        EXPECT_EQ(e.code(), st::kSent) << e.message();
        EXPECT_EQ(e.message(), "Sent " + name + " (" + std::to_string(size) +
                                   (size == 1 ? " byte)" : " bytes)"));
        EXPECT_EQ(testenv::readFile(inbox + "/" + name), content) << size;
        expectForwardToOneStatus(e, name);
        if (size > 0) {
            ASSERT_FALSE(e.progress.empty()) << size;
            EXPECT_EQ(e.progress.back(), 100) << size;
        }
        EXPECT_EQ(transfer.IsBusy(), 0);
    }
}

TEST_F(TransferOnCom5, ReceivesFromSzByteForByteAtEverySize) {
    for (std::size_t size : kSizes) {
        const std::string name = "in" + std::to_string(size) + ".bin";
        const std::string content = randomBytes(size, static_cast<unsigned>(size) + 3);
        testenv::writeFile(outbox + "/" + name, content);
        ASSERT_EQ(transfer.ReceiveFile(fenwald::vesk::kProtocol, inbox, 0), 0);
        ASSERT_TRUE(peer.waitForComponentRate(115200));
        ASSERT_TRUE(peer.start({"sz", "--ymodem", name}, outbox));
        TransferEvents e = transferEvents(transfer);
        EXPECT_EQ(peer.wait(), 0) << peer.log();
        EXPECT_EQ(e.code(), st::kReceived) << e.message();
        EXPECT_EQ(testenv::readFile(inbox + "/" + name), content) << size;
        expectForwardToOneStatus(e, name);
    }
}

TEST_F(TransferOnCom5, AReceivedFileNeverReplacesOneInTheFolder) {
    testenv::writeFile(inbox + "/app.bin", "keep me");
    const std::string content = randomBytes(3000, 9);
    testenv::writeFile(outbox + "/app.bin", content);
    ASSERT_EQ(transfer.ReceiveFile(fenwald::vesk::kProtocol, inbox, 0), 0);
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    ASSERT_TRUE(peer.start({"sz", "--ymodem", "app.bin"}, outbox));
    TransferEvents e = transferEvents(transfer);
    EXPECT_EQ(peer.wait(), 0) << peer.log();
    EXPECT_EQ(e.code(), st::kReceived) << e.message();
    EXPECT_EQ(testenv::readFile(inbox + "/app.bin"), "keep me");
    EXPECT_EQ(testenv::readFile(inbox + "/app (1).bin"), content);
    EXPECT_NE(e.message().find("app (1).bin"), std::string::npos) << e.message();
}

TEST_F(TransferOnCom5, RefusalsEndWithOneErrorStatusAndNothingOnTheLine) {
    // An unknown protocol is refused at once, with its status.
    EXPECT_EQ(transfer.TransmitFile("ZMODEM", outbox + "/x"), st::kUnknownProtocol);
    TransferEvents e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kUnknownProtocol);

    transfer.TransmitFile(fenwald::vesk::kProtocol, outbox + "/missing.bin");
    e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kFileError);
    EXPECT_EQ(e.message(), "Cannot send " + outbox + "/missing.bin: there is no such file");

    transfer.ReceiveFile(fenwald::vesk::kProtocol, inbox + "/nowhere", 0);
    e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kFileError);

    transfer.SetPort(9);  // not in the map
    testenv::writeFile(outbox + "/a.bin", "a");
    transfer.TransmitFile(fenwald::vesk::kProtocol, outbox + "/a.bin");
    e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kCannotOpenPort) << e.message();
    EXPECT_TRUE(peer.toPeer().empty());
}

TEST_F(TransferOnCom5, ASilentPeerTimesOutAndCancelEndsAWaitingTransfer) {
    transfer.setAnswerTimeout(200);
    transfer.setRetries(1);
    testenv::writeFile(outbox + "/a.bin", randomBytes(2000, 4));
    transfer.TransmitFile(fenwald::vesk::kProtocol, outbox + "/a.bin");
    TransferEvents e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kTimedOut) << e.message();
    EXPECT_EQ(e.statuses.size(), 1u);

    transfer.setAnswerTimeout(fenwald::vesk::kDefaultAnswerTimeoutMs);
    ASSERT_EQ(transfer.ReceiveFile(fenwald::vesk::kProtocol, inbox, 0), 0);
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    EXPECT_NE(transfer.IsBusy(), 0);
    transfer.cancel();
    e = transferEvents(transfer);
    EXPECT_EQ(e.code(), st::kCancelled);
    EXPECT_EQ(e.statuses.size(), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(inbox));
}

}  // namespace

// A transfer whose thread cannot start is refused with why, at once; the next one runs.
TEST(TransferThread, ATransferWithoutItsThreadIsRefusedWithWhyAndALaterOneRuns) {
    testenv::IsolatedPorts env;
    const std::string missing = env.dir().file("missing.bin");
    std::optional<CVeskctl1> transfer;
    {
        testenv::NoNewThreads none;
        if (!none.active()) GTEST_SKIP() << "the default thread attributes cannot be changed";
        transfer.emplace(buildTreeRegistry());
        ASSERT_TRUE(transfer->created()) << transfer->creationError();
        transfer->SetPort(kCom);
        EXPECT_EQ(transfer->TransmitFile(fenwald::vesk::kProtocol, missing),
                  st::kCannotStartThread);
        auto events = transferEvents(*transfer, std::chrono::seconds(60));
        EXPECT_EQ(events.code(), st::kCannotStartThread);
        EXPECT_EQ(events.message(),
                  "The transfer component cannot start its thread: Resource temporarily "
                  "unavailable");
        EXPECT_EQ(transfer->IsBusy(), 0);
    }
    EXPECT_EQ(transfer->TransmitFile(fenwald::vesk::kProtocol, missing), 0);
    auto events = transferEvents(*transfer, std::chrono::seconds(60));
    EXPECT_EQ(events.code(), st::kFileError);
}
