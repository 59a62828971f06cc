// YMODEM batches against lrzsz (`sz --ymodem`, `rz --ymodem`) and against scripted peers, over
// real pseudo-terminals: the engine on one end, the peer on the other.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "platform/serial_device.h"
#include "serial/ymodem.h"
#include "sim/sim_line.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using namespace serial;
using namespace serial::ymodem;
using Bytes = std::vector<std::uint8_t>;

namespace {

constexpr std::size_t kShortBytes = kShortBlock + kBlockOverhead;
constexpr std::size_t kLongBytes = kLongBlock + kBlockOverhead;

// Generous: a slow machine makes a transfer slower, never wrong.
const YmodemOptions kPatient{1000ms, 30000ms, 10};

// The pseudo-terminal's master end as a byte line, for the engine facing lrzsz.
class SimByteLine final : public ByteLine {
public:
    explicit SimByteLine(sim::SimLine& line) : line_(line) {}
    std::size_t read(void* buffer, std::size_t max, std::chrono::milliseconds wait) override {
        return line_.read(buffer, max, wait);
    }
    std::size_t write(const void* data, std::size_t count, std::chrono::milliseconds) override {
        return line_.send(data, count) ? count : 0;
    }
    void purgeInput() override {
        std::uint8_t scratch[256];
        while (line_.read(scratch, sizeof scratch, 0ms) > 0) {
        }
    }
    std::string failure() const override { return line_.isOpen() ? "" : "closed"; }

private:
    sim::SimLine& line_;
};

// Every byte value, CAN, XON/XOFF and SUB included, ending in SUB so padding and data differ.
std::string content(std::size_t size, unsigned seed = 1) {
    std::mt19937 random(seed);
    std::string s(size, '\0');
    for (auto& c : s) c = static_cast<char>(random() & 0xFF);
    if (size > 0) s.back() = static_cast<char>(kSub);
    return s;
}

std::string findProgram(std::initializer_list<const char*> names) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (const char* name : names) {
        for (std::size_t at = 0; at <= dirs.size();) {
            std::size_t end = dirs.find(':', at);
            if (end == std::string::npos) end = dirs.size();
            std::string candidate = dirs.substr(at, end - at) + "/" + name;
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            at = end + 1;
        }
    }
    return {};
}

// An lrzsz program with the pseudo-terminal's slave end as its standard input and output.
class Lrzsz {
public:
    ~Lrzsz() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    void start(std::vector<std::string> args, const std::string& tty, const std::string& folder) {
        log_ = folder + "/../lrzsz.log";
        pid_ = testenv::startOnTerminal(std::move(args), tty, folder, log_);
    }
    // Its exit status, or -1 when it did not end in time.
    int wait(std::chrono::seconds limit = 60s) { return testenv::waitForExit(pid_, limit); }
    std::string log() const { return testenv::readFile(log_); }

private:
    pid_t pid_ = -1;
    std::string log_;
};

struct ProgressLog {
    struct Entry {
        std::size_t file;
        std::string name;
        std::uint64_t done, total;
    };
    std::vector<Entry> entries;
    YmodemProgressFn fn() {
        return [this](const YmodemProgress& p) {
            entries.push_back({p.file, std::string(p.name), p.done, p.total});
        };
    }
    // Files in order; within one, done never falls, never passes total, and ends at it.
    void expectForwardOnly(const std::vector<std::uint64_t>& sizes) const {
        ASSERT_FALSE(entries.empty());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& e = entries[i];
            ASSERT_LT(e.file, sizes.size());
            EXPECT_EQ(e.total, sizes[e.file]);
            EXPECT_LE(e.done, e.total);
            if (i == 0) continue;
            const Entry& before = entries[i - 1];
            EXPECT_GE(e.file, before.file);
            if (e.file == before.file)
                EXPECT_GE(e.done, before.done) << "at report " << i;
            else
                EXPECT_EQ(before.done, before.total)
                    << "file " << before.file << " did not end at its size";
        }
        EXPECT_EQ(entries.back().file, sizes.size() - 1);
        EXPECT_EQ(entries.back().done, entries.back().total);
    }
};

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct LrzszPeer : ::testing::Test {
    testenv::ScratchDir dir;
    std::string peerFolder = dir.file("peer"), ourFolder = dir.file("ours");
    sim::SimLine line;
    SimByteLine engineLine{line};
    Lrzsz peer;
    ProgressLog progress;

    void SetUp() override {
        std::filesystem::create_directories(peerFolder);
        std::filesystem::create_directories(ourFolder);
        ASSERT_TRUE(line.open());
        // lrzsz drops its input right after each answer it sends, which on a wire is before
        // the answer has even reached us; a pseudo-terminal needs the wire's pace for that.
        platform::SerialDevice rate;
        ASSERT_TRUE(rate.open(line.devicePath()));
        ASSERT_TRUE(rate.setLineSettings({921600}));
        rate.close();
        line.setPacing(true);
    }
    static std::string program(std::initializer_list<const char*> names) {
        std::string p = findProgram(names);
        EXPECT_FALSE(p.empty()) << "lrzsz is not installed (scripts/setup.sh installs it)";
        return p;
    }
    // rz receives into the peer folder what our sender sends.
    YmodemResult sendToRz(const std::vector<YmodemFile>& files) {
        peer.start({program({"rz", "lrz"}), "--ymodem", "-b"}, line.devicePath(), peerFolder);
        YmodemSender sender(engineLine, kPatient);
        sender.setProgress(progress.fn());
        auto result = sender.sendBatch(files);
        EXPECT_EQ(peer.wait(), 0) << peer.log();
        return result;
    }
    // sz sends files from the peer folder to our receiver.
    YmodemResult receiveFromSz(const std::vector<std::string>& names, bool longBlocks = true) {
        std::vector<std::string> args = {program({"sz", "lsz"}), "--ymodem", "-b"};
        if (longBlocks) args.push_back("-k");
        args.insert(args.end(), names.begin(), names.end());
        peer.start(args, line.devicePath(), peerFolder);
        YmodemReceiver receiver(engineLine, kPatient);
        receiver.setProgress(progress.fn());
        auto result = receiver.receiveBatch(ourFolder);
        EXPECT_EQ(peer.wait(), 0) << peer.log();
        return result;
    }
};

const std::size_t kSizes[] = {0, 1, 127, 128, 129, 1023, 1024, 1025, 100 * 1024};

struct SizeToRz : LrzszPeer, ::testing::WithParamInterface<std::size_t> {};
struct SizeFromSz : LrzszPeer, ::testing::WithParamInterface<std::tuple<std::size_t, bool>> {};

}  // namespace

TEST(YmodemBlocks, CrcIsTheXmodemOne) {
    const std::string check = "123456789";
    EXPECT_EQ(crc16Xmodem({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}),
              0x31C3);
    EXPECT_EQ(crc16Xmodem({}), 0);
}

TEST(YmodemBlocks, BuiltBlocksParseBackAndDamageShows) {
    for (std::size_t size : {kShortBlock, kLongBlock}) {
        Bytes payload(size);
        for (std::size_t i = 0; i < size; ++i) payload[i] = static_cast<std::uint8_t>(i * 7);
        Bytes block = buildYmodemBlock(0xFE, payload);
        ASSERT_EQ(block.size(), size + kBlockOverhead);
        EXPECT_EQ(block[0], size == kShortBlock ? kSoh : kStx);
        EXPECT_EQ(ymodemBlockLength(block[0]), block.size());
        auto parsed = parseYmodemBlock(block);
        EXPECT_TRUE(parsed.intact());
        EXPECT_EQ(parsed.number, 0xFE);
        EXPECT_EQ(Bytes(parsed.payload.begin(), parsed.payload.end()), payload);

        Bytes flipped = block;
        flipped[10] ^= 0x01;
        EXPECT_FALSE(parseYmodemBlock(flipped).crcOk);
        Bytes badNumber = block;
        badNumber[2] = 0;
        EXPECT_FALSE(parseYmodemBlock(badNumber).numberOk);
        EXPECT_FALSE(parseYmodemBlock(badNumber).intact());
        EXPECT_EQ(parseYmodemBlock({block.data(), block.size() - 1}).kind,
                  YmodemBlockKind::Incomplete);
    }
    EXPECT_EQ(parseYmodemBlock(Bytes{kEot}).kind, YmodemBlockKind::EndOfFile);
    EXPECT_EQ(parseYmodemBlock(Bytes{kCan, kCan}).kind, YmodemBlockKind::Cancel);
    EXPECT_EQ(parseYmodemBlock(Bytes{'x', 1, 0xFE}).kind, YmodemBlockKind::Unknown);
    EXPECT_EQ(parseYmodemBlock({}).kind, YmodemBlockKind::Unknown);
    EXPECT_TRUE(buildYmodemBlock(1, Bytes(100)).empty());
}

TEST(YmodemBlocks, HeaderReadsWhatLrzszSends) {
    std::string sent(
        "fw.bin\0"
        "3000 15305761066 100644 0 1 3000",
        39);
    Bytes payload(kShortBlock, 0);
    std::copy(sent.begin(), sent.end(), payload.begin());
    auto header = parseYmodemHeader(payload);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->name, "fw.bin");
    EXPECT_EQ(header->size, 3000u);
    EXPECT_EQ(header->modified, 015305761066u);

    auto text = [](std::string s) {
        Bytes b(kShortBlock, 0);
        std::copy(s.begin(), s.end(), b.begin());
        return b;
    };
    auto noSize = parseYmodemHeader(text(std::string("a.txt\0", 6)));
    ASSERT_TRUE(noSize);
    EXPECT_FALSE(noSize->size);
    EXPECT_TRUE(parseYmodemHeader(Bytes(kShortBlock, 0))->endsBatch());

    std::string error;
    EXPECT_FALSE(parseYmodemHeader(Bytes(kShortBlock, 'a'), &error));
    EXPECT_EQ(error, "the file name is not terminated");
    EXPECT_FALSE(parseYmodemHeader(text(std::string("a\0"
                                                    "12x",
                                                    5)),
                                   &error));
    EXPECT_EQ(error, "the file size is not a number");
    EXPECT_FALSE(
        parseYmodemHeader(text(std::string("a\0"
                                           "99999999999999999999",
                                           22))));

    auto built = buildYmodemHeader("x.hex", 123456);
    EXPECT_EQ(built.size(), kShortBlock);
    EXPECT_EQ(parseYmodemHeader(built)->size, 123456u);
    auto longName = buildYmodemHeader(std::string(200, 'n'), 1);
    EXPECT_EQ(longName.size(), kLongBlock);
    EXPECT_EQ(parseYmodemHeader(longName)->name, std::string(200, 'n'));
    EXPECT_TRUE(buildYmodemHeader(std::string(1100, 'n'), 1).empty());
    EXPECT_EQ(buildYmodemHeader("", 5), Bytes(kShortBlock, 0));
}

TEST(YmodemBlocks, StoredNamesAreBaseNamesNumberedWhenTaken) {
    EXPECT_EQ(ymodemStoredName("dir/sub/a.txt"), "a.txt");
    EXPECT_EQ(ymodemStoredName("C:\\fw\\x.hex"), "x.hex");
    EXPECT_EQ(ymodemStoredName("../../etc/passwd"), "passwd");
    for (const char* refused : {"", ".", "..", "dir/", "a/.."})
        EXPECT_FALSE(ymodemStoredName(refused)) << refused;
    EXPECT_EQ(numberedFileName("a.txt", 1), "a (1).txt");
    EXPECT_EQ(numberedFileName("fw.tar.gz", 2), "fw.tar (2).gz");
    EXPECT_EQ(numberedFileName("README", 3), "README (3)");
    EXPECT_EQ(numberedFileName(".profile", 1), ".profile (1)");
}

TEST_P(SizeToRz, ArrivesByteForByte) {
    std::string data = content(GetParam());
    std::string path = dir.file("fw.bin");
    testenv::writeFile(path, data);
    auto result = sendToRz({YmodemFile::onDisk(path)});
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(testenv::readFile(peerFolder + "/fw.bin"), data);
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].name, "fw.bin");
    EXPECT_EQ(result.files[0].size, data.size());
    progress.expectForwardOnly({data.size()});
}
INSTANTIATE_TEST_SUITE_P(Sizes, SizeToRz, ::testing::ValuesIn(kSizes));

TEST_P(SizeFromSz, ArrivesByteForByte) {
    auto [size, longBlocks] = GetParam();
    std::string data = content(size);
    testenv::writeFile(peerFolder + "/data.bin", data);
    auto result = receiveFromSz({"data.bin"}, longBlocks);
    ASSERT_TRUE(result.ok()) << result.detail;
    ASSERT_EQ(result.files.size(), 1u);
    EXPECT_EQ(result.files[0].path, ourFolder + "/data.bin");
    EXPECT_EQ(testenv::readFile(ourFolder + "/data.bin"), data);
    EXPECT_EQ(filesIn(ourFolder), std::vector<std::string>{"data.bin"});
    progress.expectForwardOnly({data.size()});
}
INSTANTIATE_TEST_SUITE_P(Sizes, SizeFromSz,
                         ::testing::Combine(::testing::ValuesIn(kSizes), ::testing::Bool()));

TEST_F(LrzszPeer, SendsABatchFromDiskAndMemory) {
    std::string first = content(5000, 2), second = content(70000, 3);
    testenv::writeFile(dir.file("first.hex"), first);
    auto result =
        sendToRz({YmodemFile::onDisk(dir.file("first.hex")),
                  YmodemFile::fromBytes("sub/second.bin", Bytes(second.begin(), second.end()))});
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(testenv::readFile(peerFolder + "/first.hex"), first);
    EXPECT_EQ(testenv::readFile(peerFolder + "/second.bin"), second);
    ASSERT_EQ(result.files.size(), 2u);
    EXPECT_EQ(result.files[1].name, "second.bin");
    EXPECT_EQ(result.files[1].path, "");
    progress.expectForwardOnly({first.size(), second.size()});
}

TEST_F(LrzszPeer, ReceivesABatchAndNeverOverwrites) {
    std::string first = content(3000, 4), second = content(2048, 5), third = content(10, 6);
    testenv::writeFile(ourFolder + "/a.bin", "mine");
    testenv::writeFile(ourFolder + "/a (1).bin", "mine too");
    std::filesystem::create_directories(peerFolder + "/d1");
    std::filesystem::create_directories(peerFolder + "/d2");
    testenv::writeFile(peerFolder + "/d1/a.bin", first);
    testenv::writeFile(peerFolder + "/d2/a.bin", second);
    testenv::writeFile(peerFolder + "/b", third);
    auto result = receiveFromSz({"d1/a.bin", "d2/a.bin", "b"});
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(testenv::readFile(ourFolder + "/a.bin"), "mine");
    EXPECT_EQ(testenv::readFile(ourFolder + "/a (1).bin"), "mine too");
    EXPECT_EQ(testenv::readFile(ourFolder + "/a (2).bin"), first);
    EXPECT_EQ(testenv::readFile(ourFolder + "/a (3).bin"), second);
    EXPECT_EQ(testenv::readFile(ourFolder + "/b"), third);
    EXPECT_EQ(filesIn(ourFolder),
              (std::vector<std::string>{"a (1).bin", "a (2).bin", "a (3).bin", "a.bin", "b"}));
    ASSERT_EQ(result.files.size(), 3u);
    EXPECT_EQ(result.files[1].path, ourFolder + "/a (3).bin");
    progress.expectForwardOnly({first.size(), second.size(), third.size()});
}

namespace {

// The engine's line, telling the script when the engine has dropped stale input: a scripted
// receiver starts only then, as a real one would repeat its 'C' until heard.
class WatchedLine final : public ByteLine {
public:
    explicit WatchedLine(ByteLine& inner) : inner_(inner) {}
    std::size_t read(void* buffer, std::size_t max, std::chrono::milliseconds wait) override {
        return inner_.read(buffer, max, wait);
    }
    std::size_t write(const void* data, std::size_t count,
                      std::chrono::milliseconds wait) override {
        return inner_.write(data, count, wait);
    }
    void purgeInput() override {
        inner_.purgeInput();
        purged_.set();
    }
    std::string failure() const override { return inner_.failure(); }
    bool waitPurged() const { return purged_.wait(10s); }

private:
    ByteLine& inner_;
    platform::Event purged_;
};

// Our engine on a serial device (the slave end); a scripted peer on the simulator's end.
struct ScriptedPeer : ::testing::Test {
    testenv::ScratchDir dir;
    sim::SimLine peer;
    platform::SerialDevice device;
    std::unique_ptr<SerialDeviceLine> deviceLine;
    std::unique_ptr<WatchedLine> engineLine;
    platform::CancelFlag cancel;
    std::jthread script;

    void SetUp() override {
        ASSERT_TRUE(peer.open());
        ASSERT_TRUE(device.open(peer.devicePath()));
        deviceLine = std::make_unique<SerialDeviceLine>(device);
        engineLine = std::make_unique<WatchedLine>(*deviceLine);
    }
    void TearDown() override {
        if (script.joinable()) script.join();
    }
    Bytes take(std::size_t count) {
        Bytes b(count);
        if (!peer.readExact(b.data(), count, 10s)) b.clear();
        return b;
    }
    // Waits for the byte, skipping others; false when it does not come.
    bool expect(std::uint8_t wanted) {
        while (auto b = peer.readByte(10s))
            if (*b == wanted) return true;
        return false;
    }
    static Bytes block(std::uint8_t number, Bytes payload, std::size_t size = kLongBlock) {
        payload.resize(size, kSub);
        return buildYmodemBlock(number, payload);
    }
    static Bytes header(const std::string& text) {
        Bytes payload(kShortBlock, 0);
        std::copy(text.begin(), text.end(), payload.begin());
        return buildYmodemBlock(0, payload);
    }
    YmodemResult receive(YmodemOptions options = kPatient) {
        YmodemReceiver receiver(*engineLine, options, &cancel);
        return receiver.receiveBatch(dir.path());
    }
    YmodemResult send(const std::vector<YmodemFile>& files, YmodemOptions options = kPatient) {
        YmodemSender sender(*engineLine, options, &cancel);
        return sender.sendBatch(files);
    }
    // Everything the engine sent, once it has ended.
    Bytes heard() {
        std::uint8_t scratch[256];
        while (peer.read(scratch, sizeof scratch, 200ms) > 0) {
        }
        return peer.received();
    }
    bool sawCancel() {
        Bytes all = heard();
        return std::search_n(all.begin(), all.end(), 2, kCan) != all.end();
    }
};

YmodemFile memoryFile(const std::string& name, const std::string& data) {
    return YmodemFile::fromBytes(name, Bytes(data.begin(), data.end()));
}

}  // namespace

TEST_F(ScriptedPeer, SenderResendsANakedBlockAndTakesAnAckedFirstEot) {
    std::string data = content(1500);
    Bytes sent1, again1;
    script = std::jthread([&] {
        if (!engineLine->waitPurged()) return;
        peer.send("C");
        take(kShortBytes);
        peer.send(Bytes{kAck, 'C'});
        sent1 = take(kLongBytes);
        peer.send(Bytes{kNak});
        again1 = take(kLongBytes);
        peer.send(Bytes{kAck});
        take(kLongBytes);
        peer.send(Bytes{kAck});
        if (take(1) == Bytes{kEot}) peer.send(Bytes{kAck, 'C'});
        take(kShortBytes);
        peer.send(Bytes{kAck});
    });
    auto result = send({memoryFile("fw.bin", data)});
    script.join();
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(sent1, again1);
    Bytes all = peer.received();
    ASSERT_EQ(all.size(), kShortBytes + 3 * kLongBytes + 1 + kShortBytes);
    auto at = all.begin() + kShortBytes + 2 * kLongBytes;
    Bytes secondBytes(at, at + kLongBytes);
    auto second = parseYmodemBlock(secondBytes);
    ASSERT_TRUE(second.intact());
    EXPECT_EQ(second.number, 2);
    EXPECT_EQ(all[kShortBytes + 3 * kLongBytes], kEot);
    EXPECT_TRUE(
        parseYmodemHeader(parseYmodemBlock(Bytes(all.end() - kShortBytes, all.end())).payload)
            ->endsBatch());
    // The last block carries the rest of the file, padded with SUB.
    EXPECT_EQ(std::string(second.payload.begin(), second.payload.begin() + 476), data.substr(1024));
    EXPECT_TRUE(std::all_of(second.payload.begin() + 476, second.payload.end(),
                            [](auto b) { return b == kSub; }));
}

// A stray ACK ends the EOT's exchange while the receiver is still busy with the blocks: it NAKs
// that EOT only later, then takes the next and asks for the closing block.
struct LateEndOfFile : ScriptedPeer, ::testing::WithParamInterface<bool> {
    std::atomic<bool> closingTaken{false};
    void startReceiver() {
        script = std::jthread([this] {
            if (!engineLine->waitPurged()) return;
            peer.send("C");
            take(kShortBytes);
            peer.send(Bytes{kAck, 'C'});
            take(kLongBytes);
            peer.send(Bytes{kAck});
            if (take(1) != Bytes{kEot}) return;
            peer.send(Bytes{kAck});              // stray: the EOT is not taken yet
            std::this_thread::sleep_for(900ms);  // longer than the sender's answer time-out
            peer.send(Bytes{kNak});
            if (!expect(kEot)) return;
            peer.send(Bytes{kAck, 'C'});
            if (take(kShortBytes).empty()) return;
            closingTaken = true;
            peer.send(Bytes{kAck});
        });
    }
};

TEST_P(LateEndOfFile, AStrictEndIsTheClosingBlockAskedForAndAcknowledged) {
    const bool strict = GetParam();
    YmodemOptions options{250ms, 400ms, 3};
    options.strictEnd = strict;
    startReceiver();
    auto result = send({memoryFile("fw.bin", content(700))}, options);
    const bool takenWhenDone = closingTaken;
    if (!strict) peer.close();  // the script waits for an EOT that never comes
    if (strict) {
        ASSERT_TRUE(result.ok()) << result.detail;
        EXPECT_TRUE(takenWhenDone);
    } else {
        // Taken on trust: done while the receiver had not even taken the EOT.
        EXPECT_TRUE(result.ok());
        EXPECT_FALSE(takenWhenDone);
    }
}

INSTANTIATE_TEST_SUITE_P(Ends, LateEndOfFile, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Strict" : "Lenient"; });

TEST_F(ScriptedPeer, AStrictEndNeverAskedForIsNoSuccess) {
    YmodemOptions strict{250ms, 400ms, 3};
    strict.strictEnd = true;
    script = std::jthread([&] {
        if (!engineLine->waitPurged()) return;
        peer.send("C");
        take(kShortBytes);
        peer.send(Bytes{kAck, 'C'});
        take(kLongBytes);
        peer.send(Bytes{kAck});
        if (take(1) == Bytes{kEot}) peer.send(Bytes{kAck});
    });
    auto result = send({memoryFile("fw.bin", content(700))}, strict);
    EXPECT_EQ(result.outcome, YmodemOutcome::TimedOut);
    EXPECT_EQ(result.detail,
              "no request from the receiver for the end of the batch within 1600 ms");
}

TEST_F(ScriptedPeer, SenderStopsWhenTheReceiverCancels) {
    script = std::jthread([&] {
        if (!engineLine->waitPurged()) return;
        peer.send("C");
        take(kShortBytes);
        peer.send(Bytes{kCan, kCan, kBs, kBs});
    });
    auto result = send({memoryFile("fw.bin", content(3000))});
    EXPECT_EQ(result.outcome, YmodemOutcome::CancelledByPeer);
    EXPECT_EQ(result.detail, "the receiver cancelled at the header of fw.bin");
    EXPECT_TRUE(result.files.empty());
}

TEST_F(ScriptedPeer, ReceiverStopsWhenTheSenderCancelsAndKeepsNothing) {
    script = std::jthread([&] {
        if (!expect('C')) return;
        peer.send(
            header(std::string("a.bin\0"
                               "3000",
                               10)));
        if (!expect('C')) return;
        peer.send(block(1, Bytes(1024, 'x')));
        if (expect(kAck)) peer.send(Bytes{kCan, kCan, kCan});
    });
    auto result = receive();
    EXPECT_EQ(result.outcome, YmodemOutcome::CancelledByPeer);
    EXPECT_EQ(result.detail, "the sender cancelled at block 2 of a.bin");
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(ScriptedPeer, SilentReceiverTimesOut) {
    auto result = send({memoryFile("fw.bin", "x")}, {250ms, 300ms, 2});
    EXPECT_EQ(result.outcome, YmodemOutcome::TimedOut);
    EXPECT_EQ(result.detail, "no request from the receiver for the start within 900 ms");
    EXPECT_TRUE(heard().empty());  // nobody to cancel
}

TEST_F(ScriptedPeer, SilentSenderTimesOutAfterItsRequests) {
    auto result = receive({250ms, 300ms, 2});
    EXPECT_EQ(result.outcome, YmodemOutcome::TimedOut);
    EXPECT_EQ(result.detail, "nothing came for the start after 3 requests");
    EXPECT_EQ(heard(), (Bytes{'C', 'C', 'C'}));
}

TEST_F(ScriptedPeer, ReceiverGivesUpWhenTheSenderStopsMidFile) {
    script = std::jthread([&] {
        if (!expect('C')) return;
        peer.send(
            header(std::string("a.bin\0"
                               "3000",
                               10)));
    });
    auto result = receive({250ms, 200ms, 1});
    EXPECT_EQ(result.outcome, YmodemOutcome::TimedOut);
    EXPECT_EQ(result.detail, "nothing came for block 1 of a.bin after 2 requests");
    EXPECT_TRUE(sawCancel());
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(ScriptedPeer, CancelEndsSendingAndTellsTheReceiver) {
    // The receiver goes quiet after the first data block: only the flag can end the wait.
    script = std::jthread([&] {
        if (!engineLine->waitPurged()) return;
        peer.send("C");
        take(kShortBytes);
        peer.send(Bytes{kAck, 'C'});
        take(kLongBytes);
        cancel.set();
    });
    auto result = send({memoryFile("fw.bin", content(5000))}, {250ms, 3600s, 10});
    script.join();
    EXPECT_EQ(result.outcome, YmodemOutcome::Cancelled);
    EXPECT_EQ(result.detail, "cancelled at block 1 of fw.bin");
    EXPECT_TRUE(sawCancel());
}

TEST_F(ScriptedPeer, CancelEndsReceivingAndKeepsNothing) {
    script = std::jthread([&] {
        if (!expect('C')) return;
        peer.send(
            header(std::string("a.bin\0"
                               "3000",
                               10)));
        if (!expect('C')) return;
        peer.send(block(1, Bytes(1024, 'x')));
        if (expect(kAck)) cancel.set();
    });
    auto result = receive({250ms, 3600s, 10});
    script.join();
    EXPECT_EQ(result.outcome, YmodemOutcome::Cancelled);
    EXPECT_TRUE(sawCancel());
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(ScriptedPeer, ReceiverAsksAgainForDamageAndDropsRepeats) {
    std::string data = content(1024 + 100);
    Bytes first(data.begin(), data.begin() + 1024), rest(data.begin() + 1024, data.end());
    std::vector<Bytes> answers;
    script = std::jthread([&] {
        auto answer = [&] {
            auto b = peer.readByte(10s);
            answers.push_back(b ? Bytes{*b} : Bytes{});
        };
        if (!expect('C')) return;
        peer.send(
            header(std::string("r.bin\0"
                               "1124",
                               10)));
        answer();  // ACK
        answer();  // C
        Bytes damaged = block(1, first);
        damaged[100] ^= 0xFF;
        peer.send(damaged);
        answer();                    // NAK, once the damaged block has gone by
        peer.send(Bytes{'x', 'y'});  // noise between blocks
        peer.send(block(1, first));
        answer();                    // ACK
        peer.send(block(1, first));  // as if our ACK had been lost
        answer();                    // ACK, and dropped
        peer.send(block(2, rest, kShortBlock));
        answer();  // ACK
        peer.send(Bytes{kEot});
        answer();  // NAK
        peer.send(Bytes{kEot});
        answer();  // ACK
        answer();  // C
        peer.send(header(""));
        answer();  // ACK
    });
    auto result = receive();
    script.join();
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(answers,
              (std::vector<Bytes>{
                  {kAck}, {'C'}, {kNak}, {kAck}, {kAck}, {kAck}, {kNak}, {kAck}, {'C'}, {kAck}}));
    EXPECT_EQ(testenv::readFile(dir.file("r.bin")), data);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"r.bin"});
}

TEST_F(ScriptedPeer, ReceiverWithoutASizeDropsOnlyTheLastPadding) {
    Bytes middle(1024, 'm');
    std::fill(middle.end() - 10, middle.end(), kSub);  // the file's own SUBs, not padding
    script = std::jthread([&] {
        if (!expect('C')) return;
        peer.send(header(std::string("n.txt\0", 6)));
        if (!expect('C')) return;
        peer.send(block(1, middle));
        if (!expect(kAck)) return;
        peer.send(block(2, Bytes{'e', 'n', 'd'}));
        if (!expect(kAck)) return;
        peer.send(Bytes{kEot});
        if (!expect(kNak)) return;
        peer.send(Bytes{kEot});
        if (!expect('C')) return;
        peer.send(header(""));
    });
    auto result = receive();
    script.join();
    ASSERT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(testenv::readFile(dir.file("n.txt")),
              std::string(middle.begin(), middle.end()) + "end");
}

TEST_F(ScriptedPeer, ReceiverRefusesBadHeadersAndShortFiles) {
    struct Case {
        std::string header;
        std::vector<Bytes> then;
        YmodemOutcome outcome;
        std::string detail;
    } cases[] = {
        {std::string("..\0"
                     "10",
                     5),
         {},
         YmodemOutcome::BadHeader,
         "refused the file name \"..\""},
        {std::string("a\0"
                     "1o",
                     4),
         {},
         YmodemOutcome::BadHeader,
         "unreadable header of file 1: the file size is not a number"},
        {std::string("s.bin\0"
                     "2000",
                     10),
         {block(1, Bytes(5, 's')), {kEot}, {kEot}},
         YmodemOutcome::ProtocolError,
         "s.bin ended after 1024 of 2000 bytes"},
        {std::string("o.bin\0"
                     "2000",
                     10),
         {block(3, Bytes(5, 'o'))},
         YmodemOutcome::ProtocolError,
         "block 3 came where block 1 of o.bin was due"},
    };
    for (const auto& c : cases) {
        peer.clearReceived();
        script = std::jthread([&] {
            if (!expect('C')) return;
            peer.send(header(c.header));
            for (const auto& bytes : c.then) peer.send(bytes);
        });
        auto result = receive();
        script.join();
        EXPECT_EQ(result.outcome, c.outcome) << c.detail;
        EXPECT_EQ(result.detail, c.detail);
        EXPECT_TRUE(sawCancel()) << c.detail;
        EXPECT_TRUE(filesIn(dir.path()).empty()) << c.detail;
    }
}

TEST_F(ScriptedPeer, SenderChecksEveryFileBeforeItStarts) {
    testenv::writeFile(dir.file("ok.bin"), "ok");
    auto result =
        send({YmodemFile::onDisk(dir.file("ok.bin")), YmodemFile::onDisk(dir.file("missing.bin"))});
    EXPECT_EQ(result.outcome, YmodemOutcome::FileError);
    EXPECT_NE(result.detail.find("missing.bin"), std::string::npos) << result.detail;
    EXPECT_TRUE(heard().empty());
    EXPECT_EQ(send({YmodemFile::onDisk(dir.path())}).outcome, YmodemOutcome::FileError);
    EXPECT_EQ(send({memoryFile("..", "x")}).outcome, YmodemOutcome::FileError);
}

TEST_F(ScriptedPeer, OurSenderToOurReceiver) {
    // The sender on the serial device, the receiver on the simulator's end.
    SimByteLine receiverLine(peer);
    testenv::ScratchDir into;
    std::string big = content(300 * 1024, 7);
    YmodemResult received;
    ProgressLog progress;
    script = std::jthread([&] {
        if (!engineLine->waitPurged()) return;
        YmodemReceiver receiver(receiverLine, kPatient);
        receiver.setProgress(progress.fn());
        received = receiver.receiveBatch(into.path());
    });
    auto sent = send({memoryFile("empty", ""), memoryFile("big.bin", big)});
    script.join();
    EXPECT_TRUE(sent.ok()) << sent.detail;
    ASSERT_TRUE(received.ok()) << received.detail;
    EXPECT_EQ(testenv::readFile(into.file("empty")), "");
    EXPECT_EQ(testenv::readFile(into.file("big.bin")), big);
    progress.expectForwardOnly({0, big.size()});
}
