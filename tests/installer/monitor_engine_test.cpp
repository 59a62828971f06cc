#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "installer/engine/monitor_engine.h"
#include "platform/coalesced_wake.h"
#include "platform/message_queue.h"
#include "serial/serial_com.h"
#include "sim/echo_device.h"
#include "tests/installer/locked_modem_lines.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using namespace fenwald;
using Kind = MonitorEvent::Kind;

namespace {

constexpr int kPort = 12;

using SharedModemLines = testmonitor::LockedModemLines;

// Everything the engine said, gathered as a front end would take it.
struct Seen {
    std::string received, sent;
    std::vector<std::size_t> receivedSizes, sentSizes;
    std::vector<int> progress;
    std::vector<std::string> lamps;  // "CTS on", "DSR off", ...
    std::optional<TextEnd> end;
    std::string endReason;
    bool sentAfterEnd = false;
    int lineLost = 0;

    void take(const MonitorEvent& e) {
        std::string bytes(e.bytes.begin(), e.bytes.end());
        switch (e.kind) {
            case Kind::Received:
                received += bytes;
                receivedSizes.push_back(bytes.size());
                break;
            case Kind::Sent:
                sent += bytes;
                sentSizes.push_back(bytes.size());
                sentAfterEnd = sentAfterEnd || end.has_value();
                break;
            case Kind::Cts:
            case Kind::Dsr:
                lamps.push_back(std::string(e.kind == Kind::Cts ? "CTS" : "DSR") +
                                (e.value ? " on" : " off"));
                break;
            case Kind::Progress:
                progress.push_back(e.value);
                break;
            case Kind::TextEnded:
                end = static_cast<TextEnd>(e.value);
                endReason = e.text;
                break;
            case Kind::LineLost:
                ++lineLost;
                break;
        }
    }
};

// Bytes that give a lost, doubled or swapped byte away.
std::string pattern(std::size_t n, unsigned seed = 1) {
    std::string s(n, '\0');
    for (auto& c : s) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return s;
}

// A file still going out seconds after its start: the pseudo-terminal takes some 64 KB at
// once, the paced device the rest at 11,520 bytes a second.
std::string longText(unsigned seed) {
    return pattern(400'000, seed);
}

bool allAtMost(const std::vector<std::size_t>& sizes, std::size_t max) {
    for (auto n : sizes)
        if (n == 0 || n > max) return false;
    return true;
}

struct MonitorEngineOnSim : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    SharedModemLines modemLines;
    std::unique_ptr<MonitorEngine> engine;
    Seen seen;

    void SetUp() override {
        ASSERT_TRUE(device.start(env.mapFile(), kPort, "Veltrix Echo (COM12)"));
        engine = std::make_unique<MonitorEngine>();
    }
    void useModemLines() { engine = std::make_unique<MonitorEngine>(&modemLines); }

    static MonitorLineSettings at(unsigned baud, int irda = serial::irda::None) {
        return {kPort, baud, 8, platform::parity::None, platform::stopbits::One, irda};
    }
    void open(unsigned baud) {
        auto out = engine->applyLine(at(baud));
        ASSERT_TRUE(out.opened) << out.openError.text;
        ASSERT_TRUE(out.lineSet);
    }
    // Takes events until done holds; false when nothing came for 10 s before that.
    bool until(const std::function<bool(const Seen&)>& done) {
        while (!done(seen)) {
            auto e = engine->events().waitPop(10s);
            if (!e) return false;
            seen.take(*e);
        }
        return true;
    }
    bool write(const std::string& text) {
        return engine->write(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    // A byte that made it through the device and back: every earlier pass is over.
    void roundTrip(const std::string& marker) {
        ASSERT_TRUE(write(marker));
        ASSERT_TRUE(until([&](const Seen& s) { return s.received.ends_with(marker); }));
    }
    void streamFromDevice(const std::string& bytes) {
        std::thread sender([&] { EXPECT_TRUE(device.line().send(bytes)); });
        EXPECT_TRUE(until([&](const Seen& s) { return s.received.size() >= bytes.size(); }));
        sender.join();
    }
    std::string file(const std::string& name, const std::string& content) const {
        std::string path = env.dir().file(name);
        testenv::writeFile(path, content);
        return path;
    }
};

}  // namespace

TEST(MonitorIrdaCorrection, ChangesOnlyWhatTheAdapterCannotDo) {
    auto fixed = correctIrdaSettings(5, 57600);
    EXPECT_EQ(fixed.irda, serial::irda::None);
    EXPECT_EQ(fixed.typeMessage, "Invalid IrDA device selected\nChanged to 'none'");
    EXPECT_EQ(fixed.baudRate, 57600u);  // none can run at 57600
    EXPECT_TRUE(fixed.baudMessage.empty());

    for (unsigned slow : {4800u, 2400u, 1200u}) {
        auto actisys = correctIrdaSettings(serial::irda::Actisys, slow);
        EXPECT_EQ(actisys.baudRate, 9600u) << slow;
        EXPECT_EQ(actisys.baudMessage, "Invalid baudrate selected\nChanged to 9600");
        EXPECT_TRUE(actisys.typeMessage.empty());
    }
    auto kwd = correctIrdaSettings(serial::irda::Kwd4400, 57600);
    EXPECT_EQ(kwd.irda, serial::irda::Kwd4400);
    EXPECT_EQ(kwd.baudRate, 9600u);
    EXPECT_EQ(kwd.baudMessage, kInvalidBaudRate);

    struct Kept {
        int irda;
        unsigned baud;
    };
    for (auto k : {Kept{serial::irda::Actisys, 9600}, Kept{serial::irda::Kwd4400, 115200},
                   Kept{serial::irda::LiteLink, 57600}, Kept{serial::irda::None, 1200}}) {
        auto c = correctIrdaSettings(k.irda, k.baud);
        EXPECT_EQ(c.irda, k.irda);
        EXPECT_EQ(c.baudRate, k.baud);
        EXPECT_TRUE(c.typeMessage.empty() && c.baudMessage.empty()) << k.irda << " " << k.baud;
    }
}

TEST_F(MonitorEngineOnSim, APacedStreamArrivesWholeAndInOrderInReadsOfAtMost100Bytes) {
    open(115200);
    device.line().setPacing(true);
    std::string bytes = pattern(23'000);  // two seconds of the line
    streamFromDevice(bytes);
    EXPECT_TRUE(seen.received == bytes) << seen.received.size() << " bytes";
    EXPECT_TRUE(allAtMost(seen.receivedSizes, MonitorEngine::kReadMax));
}

TEST_F(MonitorEngineOnSim, AStreamAsFastAsThePseudoTerminalTakesItLosesNothing) {
    open(115200);
    std::string bytes = pattern(200'000, 7);
    streamFromDevice(bytes);
    EXPECT_TRUE(seen.received == bytes) << seen.received.size() << " bytes";
    EXPECT_TRUE(allAtMost(seen.receivedSizes, MonitorEngine::kReadMax));
}

TEST_F(MonitorEngineOnSim, ApplyingTheLineAgainWhileBytesStreamLosesNothing) {
    open(115200);
    device.line().setPacing(true);
    std::string bytes = pattern(23'000, 3);
    // Each apply parks the receive thread at some point of its pass, for as long as the stream
    // lasts.
    std::atomic<bool> done{false};
    std::atomic<int> applied{0};
    std::thread applier([&] {
        while (!done) {
            EXPECT_TRUE(engine->applyLine(at(115200)).opened);
            engine->toggleDtr();
            ++applied;
        }
    });
    streamFromDevice(bytes);
    done = true;
    applier.join();
    EXPECT_GT(applied, 0);
    EXPECT_TRUE(seen.received == bytes) << seen.received.size() << " bytes";
}

TEST_F(MonitorEngineOnSim, BytesAreKeptWhileTheFrontEndTakesNothing) {
    open(115200);
    std::string bytes = pattern(60'000, 11);
    // A window with a menu open takes nothing; the device's send ends only once the engine has
    // read all but what the pseudo-terminal holds.
    ASSERT_TRUE(device.line().send(bytes));
    roundTrip("end");
    EXPECT_TRUE(seen.received == bytes + "end") << seen.received.size() << " bytes";
}

TEST_F(MonitorEngineOnSim, TypedBytesGoOutWhileTheReceiveThreadReads) {
    open(115200);
    std::string typed;
    for (int i = 0; i < 200; ++i) {
        std::string word = "key" + std::to_string(i) + " ";
        ASSERT_TRUE(write(word));
        typed += word;
    }
    EXPECT_TRUE(until([&](const Seen& s) { return s.received.size() >= typed.size(); }));
    EXPECT_EQ(seen.received, typed);
}

TEST_F(MonitorEngineOnSim, ATextFileGoesOutWholeInPiecesWithProgressAndAnEnd) {
    open(115200);
    device.line().setPacing(true);
    std::string content = pattern(1234, 5);
    std::string path = file("text.txt", content);
    auto started = engine->startTextFile(path);
    ASSERT_TRUE(started) << started.message;
    ASSERT_TRUE(until([](const Seen& s) { return s.end.has_value(); }));

    EXPECT_EQ(*seen.end, TextEnd::Transmitted);
    EXPECT_FALSE(engine->textTransmissionActive());
    EXPECT_TRUE(seen.sent == content);
    ASSERT_FALSE(seen.sentSizes.empty());
    EXPECT_EQ(seen.sentSizes.front(), 1u);  // the first byte goes at once
    EXPECT_TRUE(allAtMost(seen.sentSizes, MonitorEngine::kPieceMax));
    EXPECT_FALSE(seen.sentAfterEnd);
    ASSERT_FALSE(seen.progress.empty());
    EXPECT_EQ(seen.progress.front(), 1);
    EXPECT_EQ(seen.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(seen.progress.begin(), seen.progress.end()));
    EXPECT_EQ(std::count(seen.progress.begin(), seen.progress.end(), 0), 0);

    ASSERT_TRUE(device.line().waitReceived(content.size(), 10s));
    auto got = device.line().received();
    EXPECT_TRUE(std::string(got.begin(), got.end()) == content);
    // The echo came in while the pieces went out on the same line.
    ASSERT_TRUE(until([&](const Seen& s) { return s.received.size() >= content.size(); }));
    EXPECT_TRUE(seen.received == content);
}

TEST_F(MonitorEngineOnSim, FileProblemsAreWordedAndNothingIsSent) {
    std::string empty = file("empty.txt", "");
    auto closed = engine->startTextFile(empty);
    EXPECT_EQ(closed.result, TextStartResult::LineNotOpen);
    EXPECT_EQ(closed.message, "Cannot transmit. COM port is not open");

    open(9600);
    auto none = engine->startTextFile(empty);
    EXPECT_EQ(none.result, TextStartResult::CannotRead);
    EXPECT_EQ(none.message, "Cannot read from " + empty);
    std::string missing = env.dir().file("missing.txt");
    auto absent = engine->startTextFile(missing);
    EXPECT_EQ(absent.result, TextStartResult::CannotOpen);
    EXPECT_EQ(absent.message, "Cannot open " + missing);
    auto folder = engine->startTextFile(env.dir().path());
    EXPECT_FALSE(folder);
    EXPECT_FALSE(engine->textTransmissionActive());

    roundTrip("x");
    auto got = device.line().received();
    EXPECT_EQ(std::string(got.begin(), got.end()), "x");
    EXPECT_TRUE(seen.sent.empty());
    EXPECT_TRUE(seen.progress.empty());
}

TEST_F(MonitorEngineOnSim, ClosingTheLineOrStoppingEndsATransmission) {
    open(115200);
    device.line().setPacing(true);
    std::string path = file("long.txt", longText(9));
    ASSERT_TRUE(engine->startTextFile(path));
    EXPECT_TRUE(engine->textTransmissionActive());
    ASSERT_TRUE(engine->startTextFile(path).result == TextStartResult::Busy);
    ASSERT_TRUE(until([](const Seen& s) { return s.sent.size() > 1; }));
    engine->stopTextFile();
    ASSERT_TRUE(until([](const Seen& s) { return s.end.has_value(); }));
    EXPECT_EQ(*seen.end, TextEnd::Stopped);
    EXPECT_FALSE(engine->textTransmissionActive());

    seen = {};
    ASSERT_TRUE(engine->startTextFile(path));
    ASSERT_TRUE(until([](const Seen& s) { return s.sent.size() > 1; }));
    engine->closeLine();
    ASSERT_TRUE(until([](const Seen& s) { return s.end.has_value(); }));
    EXPECT_EQ(*seen.end, TextEnd::Stopped);
    EXPECT_EQ(engine->openPort(), 0);
    EXPECT_LT(seen.sent.size(), longText(9).size());

    // A transmission still running when the engine goes: its thread and file go with it.
    open(115200);
    ASSERT_TRUE(engine->startTextFile(path));
    engine.reset();
}

TEST_F(MonitorEngineOnSim, TheKwd4400At57600RunsAt9600) {
    useModemLines();
    auto out = engine->applyLine(at(57600, serial::irda::Kwd4400));
    ASSERT_TRUE(out.opened);
    EXPECT_TRUE(out.irdaTypeMessage.empty());
    EXPECT_EQ(out.baudRateMessage, "Invalid baudrate selected\nChanged to 9600");
    EXPECT_EQ(out.settings.baudRate, 9600u);
    EXPECT_EQ(out.settings.irda, serial::irda::Kwd4400);
    EXPECT_EQ(device.line().programSettings()->baudRate, 9600u);

    // The cradle was switched to 9600: four DTR pulses end the journal.
    std::vector<std::string> pulses;
    for (auto& step : serial::irdaAdapterSteps(serial::irda::Kwd4400, 9600))
        if (step.kind != serial::IrdaStep::Purge) pulses.push_back(step.text());
    auto journal = modemLines.journal();
    ASSERT_GE(journal.size(), pulses.size());
    EXPECT_EQ(std::vector<std::string>(journal.end() - pulses.size(), journal.end()), pulses);

    auto fixed = engine->applyLine(at(57600, 5));
    EXPECT_EQ(fixed.irdaTypeMessage, std::string(kInvalidIrdaDevice));
    EXPECT_EQ(fixed.settings.irda, serial::irda::None);
    EXPECT_EQ(device.line().programSettings()->baudRate, 57600u);
}

TEST_F(MonitorEngineOnSim, APortThatCannotBeOpenedLeavesTheLineClosedUntilItCan) {
    auto out = engine->applyLine({13, 57600, 8, 0, 0, serial::irda::Kwd4400});
    EXPECT_FALSE(out.opened);
    EXPECT_EQ(out.openError.windowsCode(), 2);
    EXPECT_TRUE(out.baudRateMessage.empty());  // the rate is looked at only on an open line
    EXPECT_EQ(out.settings.baudRate, 57600u);
    EXPECT_EQ(engine->openPort(), 0);

    sim::EchoDevice second;
    ASSERT_TRUE(second.start(env.mapFile(), 13, "Veltrix Echo (COM13)"));
    open(9600);
    EXPECT_EQ(engine->openPort(), kPort);
    auto moved = engine->applyLine({13, 9600, 8, 0, 0, 0});
    ASSERT_TRUE(moved.opened);
    EXPECT_EQ(engine->openPort(), 13);
    CSerialCom old;
    EXPECT_TRUE(old.Open(kPort));  // given back
}

TEST_F(MonitorEngineOnSim, RemovingThePortClosesTheLineAndItsArrivalReopensIt) {
    open(115200);
    roundTrip("before");
    device.vanish();
    ASSERT_TRUE(until([](const Seen& s) { return s.lineLost > 0; }));
    EXPECT_FALSE(engine->portRemoved(3));
    EXPECT_TRUE(engine->portRemoved(kPort));
    EXPECT_EQ(engine->openPort(), 0);

    ASSERT_TRUE(device.start(env.mapFile(), kPort, "Veltrix Echo (COM12)"));
    auto out = engine->reopen();
    ASSERT_TRUE(out.opened) << out.openError.text;
    EXPECT_EQ(device.line().programSettings()->baudRate, 115200u);
    roundTrip("after");
    EXPECT_EQ(seen.lineLost, 1);
}

TEST_F(MonitorEngineOnSim, ALineLostUnderATransmissionEndsItAsAFailure) {
    open(115200);
    device.line().setPacing(true);
    ASSERT_TRUE(engine->startTextFile(file("long.txt", longText(13))));
    ASSERT_TRUE(until([](const Seen& s) { return s.sent.size() > 1; }));
    device.vanish();
    ASSERT_TRUE(until([](const Seen& s) { return s.end.has_value() && s.lineLost > 0; }));
    EXPECT_EQ(*seen.end, TextEnd::Failed);
    EXPECT_FALSE(seen.endReason.empty());
    EXPECT_FALSE(seen.sentAfterEnd);
    EXPECT_FALSE(engine->textTransmissionActive());
    EXPECT_EQ(seen.lineLost, 1);
    EXPECT_TRUE(engine->portRemoved(kPort));

    // A new transmission needs an open line again.
    EXPECT_EQ(engine->startTextFile(file("more.txt", "x")).result, TextStartResult::LineNotOpen);
    ASSERT_TRUE(device.start(env.mapFile(), kPort, "Veltrix Echo (COM12)"));
    ASSERT_TRUE(engine->reopen().opened);
    seen = {};
    ASSERT_TRUE(engine->startTextFile(file("more.txt", "again")));
    ASSERT_TRUE(until([](const Seen& s) { return s.end.has_value(); }));
    EXPECT_EQ(*seen.end, TextEnd::Transmitted);
    EXPECT_EQ(seen.sent, "again");
}

TEST_F(MonitorEngineOnSim, CtsAndDsrChangesAreReportedOnceEach) {
    useModemLines();
    open(9600);
    ASSERT_TRUE(until([](const Seen& s) { return s.lamps.size() >= 2; }));
    EXPECT_EQ(seen.lamps, (std::vector<std::string>{"CTS off", "DSR off"}));  // the first poll
    modemLines.setStatus(true, false);
    ASSERT_TRUE(until([](const Seen& s) { return s.lamps.size() >= 3; }));
    modemLines.setStatus(false, false);
    ASSERT_TRUE(until([](const Seen& s) { return s.lamps.size() >= 4; }));
    modemLines.setStatus(false, true);
    ASSERT_TRUE(until([](const Seen& s) { return s.lamps.size() >= 5; }));
    roundTrip("quiet");
    EXPECT_EQ(seen.lamps,
              (std::vector<std::string>{"CTS off", "DSR off", "CTS on", "CTS off", "DSR on"}));
    auto lamps = engine->lamps();
    EXPECT_FALSE(lamps.cts);
    EXPECT_TRUE(lamps.dsr);
}

TEST_F(MonitorEngineOnSim, TogglingRtsAndDtrSwitchesTheLines) {
    useModemLines();
    auto out = engine->applyLine(at(9600));
    ASSERT_TRUE(out.opened);
    EXPECT_TRUE(out.lamps.rts && out.lamps.dtr);  // raised by the open
    EXPECT_FALSE(engine->toggleRts());
    EXPECT_EQ(modemLines.journal().back(), "RTS off");
    EXPECT_FALSE(engine->toggleDtr());
    EXPECT_EQ(modemLines.journal().back(), "DTR off");
    EXPECT_TRUE(engine->toggleRts());
    EXPECT_EQ(modemLines.journal().back(), "RTS on");
    auto lamps = engine->lamps();
    EXPECT_TRUE(lamps.rts);
    EXPECT_FALSE(lamps.dtr);
}

// Fifty engines one after another in one process, the device talking from before each opens,
// each drained as a window drains it: the queue's notify rings a coalesced wake-up whose runs
// are posted to a thread standing in for the window's event loop. Every opening must hand on
// the device's bytes and the echo of a typed one.
TEST(MonitorEngineOpenings, FiftyOpeningsEachDeliverWhatComesFromTheFirstMillisecond) {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    ASSERT_TRUE(device.start(env.mapFile(), kPort, "Veltrix Echo (COM12)"));
    std::atomic<int> opening{0};
    std::atomic<bool> quiet{false};
    std::thread talker([&] {
        while (!quiet) {
            std::string tag = "[" + std::to_string(opening.load()) + "]";
            device.line().sendRaw(tag.data(), tag.size());
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int n = 1; n <= 50 && !::testing::Test::HasFailure(); ++n) {
        opening = n;
        const std::string tag = "[" + std::to_string(n) + "]";
        auto engine = std::make_unique<MonitorEngine>();
        platform::MessageQueue<bool> loop;  // posted runs; false ends the loop
        platform::CoalescedWake wake([&] { loop.push(true); });
        std::atomic<bool> sawTag{false}, sawEcho{false};
        std::thread window([&] {
            std::string seen;
            while (loop.waitPop(-1ms).value_or(false)) {
                wake.started();
                while (auto e = engine->events().tryPop()) {
                    if (e->kind != Kind::Received) continue;
                    seen.append(e->bytes.begin(), e->bytes.end());
                    if (seen.find(tag) != std::string::npos) sawTag = true;
                    if (seen.find('k') != std::string::npos) sawEcho = true;
                }
            }
        });
        engine->events().setNotify([&] { wake.wake(); });
        wake.wake();  // what came before the notify was set
        auto out = engine->applyLine(
            {kPort, 115200, 8, platform::parity::None, platform::stopbits::One, 0});
        EXPECT_TRUE(out.opened) << out.openError.text;
        EXPECT_TRUE(testenv::eventually([&] { return sawTag.load(); })) << "opening " << n;
        const std::uint8_t k = 'k';
        EXPECT_TRUE(engine->write(&k, 1));
        EXPECT_TRUE(testenv::eventually([&] { return sawEcho.load(); })) << "opening " << n;
        engine->events().setNotify(nullptr);
        loop.push(false);
        window.join();
        engine.reset();
    }
    quiet = true;
    talker.join();
}
