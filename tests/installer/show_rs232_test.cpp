// The RS232 monitor window offscreen against the echo device (and lrzsz for the Vesk
// transfers), message boxes and file dialogs answered by the recorders.
#include "installer/ui/show_rs232.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <thread>

#include "installer/ui/fenwald_dlg.h"
#include "platform/modem_lines.h"
#include "serial/serial_com.h"
#include "serial/ui/prog_status_bar.h"
#include "serial/ymodem.h"
#include "sim/echo_device.h"
#include "tests/installer/component_test_support.h"
#include "tests/installer/locked_modem_lines.h"
#include "tests/installer/lrzsz_peer.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

constexpr int kPort = 7;
constexpr char kPortName[] = "Veltrix Echo (COM7)";

using LockedModemLines = testmonitor::LockedModemLines;

// Printable bytes and line breaks, numbered, so a lost, doubled or swapped piece shows.
std::string numberedLines(std::size_t bytes) {
    std::string s;
    for (int n = 0; s.size() < bytes; ++n) s += "line " + std::to_string(n) + " ABCDEFGHIJ\r\n";
    s.resize(bytes);
    return s;
}

// What the terminal shows for bytes, as PlainText gives it.
QString shown(const std::string& bytes, int format) {
    std::string text;
    for (std::size_t at = 0; at < bytes.size(); at += 1000) {
        auto piece = bytes.substr(at, 1000);
        text += serial::renderBytes(reinterpret_cast<const std::uint8_t*>(piece.data()),
                                    piece.size(), format);
    }
    std::replace(text.begin(), text.end(), '\r', '\n');
    return QString::fromLatin1(text);
}

std::string received(sim::SimLine& line) {
    auto b = line.received();
    return std::string(b.begin(), b.end());
}

struct Monitor : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    qttest::MessageBoxes boxes;
    qttest::FileDialogs files;
    fenwald::FenwaldSettings settings;
    LockedModemLines modemLines;
    std::unique_ptr<ShowRS232> window;

    Monitor() { qttest::ensureApplication(); }
    ~Monitor() override {
        window.reset();
        qttest::stopWatching();
    }
    void SetUp() override {
        ASSERT_TRUE(device.start(env.mapFile(), kPort, kPortName));
        settings.port = kPort;
        settings.baudrate = 115200;
    }
    void open(bool withModemLines = false) {
        window = std::make_unique<ShowRS232>(settings, nullptr, testcomponents::buildTreeRegistry(),
                                             withModemLines ? &modemLines : nullptr);
        window->show();
        ASSERT_EQ(window->engine()->openPort(), kPort) << boxes.texts().join("|").toStdString();
    }
    QString text() const { return window->terminal()->PlainText(); }
    bool shows(const QString& what) {
        return qttest::eventually([&] { return text().contains(what); });
    }
    // The text of the terminal in one colour.
    QString textIn(serial::ColourRef colour) const {
        QString t;
        QTextDocument* doc = window->terminal()->document();
        for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
            if (b != doc->begin()) t += '\n';
            for (auto it = b.begin(); !it.atEnd(); ++it) {
                QTextFragment f = it.fragment();
                if (f.charFormat().foreground().style() != Qt::NoBrush &&
                    serial::ui::colourRefFromColour(f.charFormat().foreground().color()) == colour)
                    t += f.text();
            }
        }
        return t;
    }
    std::string writeText(const std::string& name, const std::string& content) {
        std::string path = env.dir().file(name);
        testenv::writeFile(path, content);
        return path;
    }
};

// ---- what the line brings, what goes out ----

TEST_F(Monitor, DeviceBytesShowInTheChosenFormatInBlue) {
    settings.format = serial::kFormatNormal;
    open();
    device.line().send(
        std::string("AB\r\x01"
                    "C"));
    ASSERT_TRUE(shows("AB\nC"));
    window->OnCommand(ShowRS232::kFirstFormat + serial::kFormatAscii);
    EXPECT_EQ(settings.format, serial::kFormatAscii);
    EXPECT_TRUE(window->action(ShowRS232::kFirstFormat + serial::kFormatAscii)->isChecked());
    EXPECT_FALSE(window->action(ShowRS232::kFirstFormat + serial::kFormatNormal)->isChecked());
    device.line().send(std::string("D\r\n\x01"));
    ASSERT_TRUE(shows("D<CR>\n<LF><SOH>"));
    window->OnCommand(ShowRS232::kFirstFormat + serial::kFormatHex);
    device.line().send(std::string("E\r"));
    ASSERT_TRUE(shows("45 0D\n"));
    EXPECT_EQ(textIn(serial::kColourBlue), text());
    EXPECT_TRUE(window->statusBar()->progressBar()->isHidden());
}

TEST_F(Monitor, TypedTextEnterAndF3GoOutEchoedInRed) {
    settings.localEcho = 1;
    open();
    CMyEdit* terminal = window->terminal();
    QTest::keyClicks(terminal, "hi");
    QTest::keyClick(terminal, Qt::Key_Return);
    QTest::keyClick(terminal, Qt::Key_F3);
    ASSERT_TRUE(device.line().waitReceived(6, 5000ms));
    EXPECT_EQ(received(device.line()), "hi\rhi\r");
    ASSERT_TRUE(qttest::eventually([&] { return textIn(serial::kColourBlue).count("hi") == 2; }));
    EXPECT_EQ(textIn(serial::kColourRed).count("hi"), 2);

    // Echo off: typed bytes still go out, only the device's echo shows.
    window->OnCommand(ShowRS232::kEchoOff);
    EXPECT_TRUE(window->action(ShowRS232::kEchoOff)->isChecked());
    terminal->ClearScreen();
    device.line().clearReceived();
    QTest::keyClicks(terminal, "ok");
    ASSERT_TRUE(device.line().waitReceived(2, 5000ms));
    ASSERT_TRUE(shows("ok"));
    EXPECT_TRUE(textIn(serial::kColourRed).isEmpty());
}

TEST_F(Monitor, ATextFileGoesOutWholeAndInOrderWithTypedKeysHeldBack) {
    open();
    device.line().setPacing(true);  // 2 s of line: it is still going when the key comes
    const std::string content = numberedLines(23'000);
    files.answerNext(writeText("text.txt", content));
    window->OnCommand(ShowRS232::kTransmitText);
    ASSERT_TRUE(window->engine()->textTransmissionActive());
    EXPECT_FALSE(window->settingsMenu()->menuAction()->isEnabled());
    QTest::keyClicks(window->terminal(), "zz");
    ASSERT_TRUE(
        qttest::eventually([&] { return window->statusBar()->progressBar()->isVisible(); }));
    ASSERT_TRUE(
        qttest::eventually([&] { return boxes.texts().contains("File transferred"); }, 30s));
    ASSERT_TRUE(device.line().waitReceived(content.size(), 10000ms));
    EXPECT_EQ(received(device.line()), content);  // no "zz" among it
    EXPECT_TRUE(window->settingsMenu()->menuAction()->isEnabled());
    EXPECT_TRUE(window->statusBar()->progressBar()->isHidden());
    EXPECT_EQ(boxes.all().back().icon, QMessageBox::Information);
    // What went out and what came back, each once.
    const auto both = shown(content + content, serial::kFormatNormal).size();
    ASSERT_TRUE(qttest::eventually([&] { return text().size() >= both; }));
    qttest::eventually([] { return false; }, 200ms);
    EXPECT_EQ(text().size(), both);
}

TEST_F(Monitor, TextFileFailuresAreReportedAndSendNothing) {
    open();
    const std::string empty = writeText("empty.txt", "");
    files.answerNext(empty);
    window->OnCommand(ShowRS232::kTransmitText);
    ASSERT_EQ(boxes.texts(), QStringList{QString::fromStdString("Cannot read from " + empty)});
    EXPECT_EQ(boxes.all().back().icon, QMessageBox::Critical);
    EXPECT_FALSE(window->engine()->textTransmissionActive());
    EXPECT_TRUE(window->settingsMenu()->menuAction()->isEnabled());

    // Cancel sends nothing and says nothing; a closed line is refused before the dialog.
    boxes.clear();
    window->OnCommand(ShowRS232::kTransmitText);
    EXPECT_TRUE(boxes.texts().isEmpty());
    window->engine()->closeLine();
    const auto dialogs = files.all().size();
    window->OnCommand(ShowRS232::kTransmitText);
    EXPECT_EQ(boxes.texts(), QStringList{"Cannot transmit. COM port is not open"});
    EXPECT_EQ(files.all().size(), dialogs);
    qttest::eventually([] { return false; }, 100ms);
    EXPECT_TRUE(device.line().received().empty());
}

// ---- settings ----

TEST_F(Monitor, TheKwd4400CradleAt57600RunsAt9600) {
    settings.baudrate = 57600;
    open();
    EXPECT_EQ(device.line().programSettings()->baudRate, 57600u);
    // The other settings move their check marks and reach the line (the far end of a
    // pseudo-terminal sees the stop bits, not the frame).
    window->OnCommand(ShowRS232::kDatabits7);
    window->OnCommand(ShowRS232::kParityEven);
    window->OnCommand(ShowRS232::kStopbitsTwo);
    auto s = device.line().programSettings();
    ASSERT_TRUE(s);
    EXPECT_EQ(settings.databits, 7);
    EXPECT_EQ(settings.parity, platform::parity::Even);
    EXPECT_EQ(s->stopBits, platform::stopbits::Two);
    EXPECT_TRUE(window->action(ShowRS232::kParityEven)->isChecked());
    EXPECT_FALSE(window->action(ShowRS232::kParityNone)->isChecked());
    EXPECT_TRUE(window->action(ShowRS232::kStopbitsTwo)->isChecked());
    EXPECT_TRUE(window->action(ShowRS232::kDatabits7)->isChecked());
    EXPECT_TRUE(boxes.texts().isEmpty());

    window->OnCommand(ShowRS232::kFirstIrda + 4);
    EXPECT_EQ(boxes.texts(), QStringList{"Invalid baudrate selected\nChanged to 9600"});
    EXPECT_EQ(settings.irda, 4);
    EXPECT_EQ(settings.baudrate, 9600);
    EXPECT_TRUE(window->action(ShowRS232::kFirstBaud + 2)->isChecked());   // 9600
    EXPECT_FALSE(window->action(ShowRS232::kFirstBaud + 5)->isChecked());  // 57600
    EXPECT_TRUE(window->action(ShowRS232::kFirstIrda + 4)->isChecked());
    ASSERT_TRUE(testenv::eventually([&] {
        auto now = device.line().programSettings();
        return now && now->baudRate == 9600;
    }));
    EXPECT_EQ(boxes.texts().size(), 1);
}

TEST_F(Monitor, AnUnopenablePortSaysSoAndTheNextApplyTriesAgain) {
    settings.port = 9;  // not in the map
    window = std::make_unique<ShowRS232>(settings, nullptr, testcomponents::buildTreeRegistry());
    EXPECT_EQ(boxes.texts(), QStringList{"Cannot open com port"});
    EXPECT_EQ(window->engine()->openPort(), 0);
    // The Port submenu lists the device; choosing it opens the line.
    QAction* item = nullptr;
    for (QAction* a : window->portMenu()->actions())
        if (a->text() == kPortName) item = a;
    ASSERT_TRUE(item);
    EXPECT_EQ(item->data().toInt(), ShowRS232::kFirstPort + kPort - 1);
    window->OnCommand(item->data().toInt());
    EXPECT_EQ(window->engine()->openPort(), kPort);
    EXPECT_EQ(settings.port, kPort);
}

// The main window opens the monitor; type 5 of the settings file is not the monitor's.
TEST_F(Monitor, IrdaFiveFromTheSettingsFileBecomesNoneAndIsSaved) {
    char cwd[4096];
    ASSERT_TRUE(::getcwd(cwd, sizeof cwd));
    ASSERT_EQ(::chdir(env.dir().path().c_str()), 0);
    testenv::writeFile("fenwald.ini", "[Main]\nport=7\nirda=5\n");
    {
        CfenwaldDlg main({}, testcomponents::buildTreeRegistry());
        EXPECT_TRUE(main.action(CfenwaldDlg::kFirstIrda + 5)->isChecked());
        bool opened = false;
        qttest::whenOpen<ShowRS232>([&](ShowRS232& monitor) {
            opened = monitor.engine()->openPort() == kPort;
            monitor.OnCommand(ShowRS232::kExit);
        });
        main.OnCommand(CfenwaldDlg::kShowRs232);
        EXPECT_TRUE(opened);
        EXPECT_EQ(boxes.texts(), QStringList{"Invalid IrDA device selected\nChanged to 'none'"});
        EXPECT_TRUE(main.action(CfenwaldDlg::kFirstIrda)->isChecked());  // menus refreshed
        main.done(0);
    }
    EXPECT_NE(testenv::readFile("fenwald.ini").find("irda=0"), std::string::npos);
    ASSERT_EQ(::chdir(cwd), 0);
}

// ---- the port going and coming, closing ----

TEST_F(Monitor, RemovingThePortClosesTheLineAndAddingItBackReopensIt) {
    open();
    const std::string map = testenv::readFile(env.mapFile());
    env.writeMap("");
    ASSERT_TRUE(qttest::eventually([&] { return window->engine()->openPort() == 0; }));
    // Nothing is read meanwhile.
    device.line().send(std::string("lost"));
    env.writeMap(map);
    ASSERT_TRUE(qttest::eventually([&] { return window->engine()->openPort() == kPort; }));
    device.line().send(std::string("back"));
    ASSERT_TRUE(shows("back"));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
}

TEST_F(Monitor, ClosingStopsTheThreadAndFreesThePort) {
    open();
    window->OnCommand(ShowRS232::kExit);
    EXPECT_EQ(window->engine(), nullptr);
    CSerialCom other;
    EXPECT_TRUE(other.Open(kPort));  // exclusive: only once the monitor has let go
}

// ---- what arrives while a menu is open ----

TEST_F(Monitor, BytesArrivingWhileAMenuIsOpenAppearInOrderWhenItCloses) {
    open();
    device.line().send(std::string("one "));
    ASSERT_TRUE(shows("one "));
    window->settingsMenu()->popup(window->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(qttest::eventually([&] { return window->settingsMenu()->isVisible(); }));
    device.line().send(std::string("two "));
    ASSERT_TRUE(qttest::eventually([&] { return window->terminal()->PendingBytes() == 4; }));
    EXPECT_EQ(text(), "one ");
    window->settingsMenu()->hide();
    device.line().send(std::string("three"));
    ASSERT_TRUE(shows("three"));
    EXPECT_EQ(text(), "one two three");
}

// A menu popped up again while it is open says it shows twice and hides once; the terminal
// must not stay held after it has gone (it then showed nothing at all, typed echo included).
TEST_F(Monitor, AMenuPoppedUpAgainWhileOpenLeavesNothingHeldOnceItHides) {
    settings.localEcho = 1;
    open();
    QMenu* menu = window->settingsMenu();
    menu->popup(window->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(qttest::eventually([&] { return menu->isVisible(); }));
    menu->popup(window->mapToGlobal(QPoint(20, 20)));
    device.line().send(std::string("held "));
    ASSERT_TRUE(qttest::eventually([&] { return window->terminal()->PendingBytes() == 5; }));
    menu->hide();
    ASSERT_TRUE(qttest::eventually([&] { return !window->terminal()->Held(); }));
    ASSERT_TRUE(shows("held "));
    QTest::keyClick(window->terminal(), Qt::Key_Q);
    EXPECT_EQ(textIn(serial::kColourRed), "q");
}

// A terminal that is held long enough drops, and says how much in the text.
TEST_F(Monitor, WhatTheHeldTerminalCannotKeepIsMarkedNotLost) {
    open();
    CMyEdit* terminal = window->terminal();
    terminal->SetHeld(true);
    const std::string piece(serial::kRenderLimit, 'x');  // each shown whole
    const std::size_t pieces = CMyEdit::kPendingLimit / piece.size();
    for (std::size_t i = 0; i < pieces + 2; ++i) terminal->AppendBytes(piece, serial::kColourBlue);
    EXPECT_EQ(terminal->DroppedBytes(), 2 * piece.size());
    EXPECT_TRUE(text().isEmpty());
    terminal->SetHeld(false);
    terminal->AppendBytes(std::string("\rafter"), serial::kColourBlue);
    const QString marker = CMyEdit::LostMarker(2 * piece.size());
    ASSERT_TRUE(qttest::eventually([&] { return terminal->PendingBytes() == 0; }, 60s));
    const QString all = text();
    EXPECT_EQ(all.count('x'), static_cast<qsizetype>(pieces * piece.size()));
    EXPECT_TRUE(all.endsWith(QStringLiteral("x\n") + marker + QStringLiteral("\n\nafter")))
        << all.right(80).toStdString();
}

// ---- saving, modem lines ----

TEST_F(Monitor, SaveAsLogUnderTheRtfFilterWritesLogRtf) {
    open();
    device.line().send(std::string("saved text\r"));
    ASSERT_TRUE(shows("saved text"));
    const std::string base = env.dir().file("log");
    files.answerNext(base);
    window->OnCommand(ShowRS232::kSave);  // no name yet: Save as
    ASSERT_EQ(files.all().size(), 1u);
    EXPECT_EQ(files.all()[0].mode, serial::ui::FileDialogRequest::Mode::Save);
    EXPECT_TRUE(files.all()[0].filter.startsWith("Rich text files (*.rtf)"));
    EXPECT_EQ(window->saveFileName(), base + ".rtf");
    const std::string rtf = testenv::readFile(base + ".rtf");
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u) << rtf.substr(0, 40);
    EXPECT_EQ(rtf.substr(rtf.size() - 3), "}\r\n");
    EXPECT_NE(rtf.find("saved text"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(base));

    // "&Save" again writes the same file without asking; a name with an extension stays.
    device.line().send(std::string("more"));
    ASSERT_TRUE(shows("more"));
    window->OnCommand(ShowRS232::kSave);
    EXPECT_EQ(files.all().size(), 1u);
    EXPECT_NE(testenv::readFile(base + ".rtf").find("more"), std::string::npos);
    files.answerNext(env.dir().file("session.txt"));
    window->OnCommand(ShowRS232::kSaveAs);
    EXPECT_EQ(window->saveFileName(), env.dir().file("session.txt"));
}

TEST_F(Monitor, ToggleRtsAndDtrReachTheLinesAndTheLamps) {
    modemLines.setStatus(true, false);
    open(true);
    EXPECT_TRUE(window->lampOn(ShowRS232::kCtsPane));
    EXPECT_FALSE(window->lampOn(ShowRS232::kDsrPane));
    const bool rts = window->lampOn(ShowRS232::kRtsPane);
    const bool dtr = window->lampOn(ShowRS232::kDtrPane);
    const auto before = modemLines.journal().size();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window->terminal(), Qt::Key_R, Qt::AltModifier);  // the accelerator
    window->OnCommand(ShowRS232::kToggleDtr);
    auto journal = modemLines.journal();
    ASSERT_EQ(journal.size(), before + 2);
    EXPECT_EQ(journal[before], rts ? "RTS off" : "RTS on");
    EXPECT_EQ(journal[before + 1], dtr ? "DTR off" : "DTR on");
    EXPECT_NE(window->lampOn(ShowRS232::kRtsPane), rts);
    EXPECT_NE(window->lampOn(ShowRS232::kDtrPane), dtr);
    // A change of CTS and DSR on the line moves their lamps.
    modemLines.setStatus(false, true);
    ASSERT_TRUE(qttest::eventually([&] {
        return !window->lampOn(ShowRS232::kCtsPane) && window->lampOn(ShowRS232::kDsrPane);
    }));
}

// ---- opening ----

// The device talks from before the window opens and all the time it is open: every opening
// shows its bytes and the typed echo, whether it is shown or run modally as the main window
// runs it.
TEST_F(Monitor, FiftyOpeningsEachShowTheDeviceAndTheEchoFromTheStart) {
    settings.localEcho = 1;
    std::atomic<int> opening{0};
    std::atomic<bool> stop{false};
    std::thread talker([&] {
        while (!stop) {
            std::string tag = "[" + std::to_string(opening.load()) + "]";
            device.line().sendRaw(tag.data(), tag.size());
            std::this_thread::sleep_for(1ms);
        }
    });
    auto check = [&](ShowRS232& monitor, int n) {
        const QString tag = QStringLiteral("[%1]").arg(n);
        EXPECT_TRUE(qttest::eventually([&] {
            return monitor.terminal()->PlainText().contains(tag);
        })) << "opening "
            << n << " shows nothing from the device";
        QTest::keyClick(monitor.terminal(), Qt::Key_K);
        EXPECT_TRUE(qttest::eventually([&] {
            return monitor.terminal()->PlainText().contains(QLatin1Char('k'));
        })) << "opening "
            << n << " shows no echo";
    };
    for (int n = 1; n <= 50 && !HasFailure(); ++n) {
        opening = n;
        ShowRS232 monitor(settings, nullptr, testcomponents::buildTreeRegistry());
        ASSERT_EQ(monitor.engine()->openPort(), kPort) << boxes.texts().join("|").toStdString();
        if (n % 2) {
            monitor.show();
            check(monitor, n);
            monitor.OnCommand(ShowRS232::kExit);
        } else {
            qttest::whenOpen<ShowRS232>([&](ShowRS232& open) {
                check(open, n);
                open.OnCommand(ShowRS232::kExit);
            });
            monitor.exec();
        }
    }
    stop = true;
    talker.join();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
}

// ---- streaming ----

// 15 s at 115200 baud, 5 s in each of the three formats, so the suite stays short; the
// minute's run is the benchmark's. The GUI thread's timer keeps firing while the bytes come.
TEST_F(Monitor, AStreamAt115200LosesAndDoublesNothingInEachFormat) {
    open();
    device.line().setPacing(true);
    for (int format : {serial::kFormatNormal, serial::kFormatAscii, serial::kFormatHex}) {
        window->OnCommand(ShowRS232::kFirstFormat + format);
        window->terminal()->ClearScreen();
        const std::string stream = numberedLines(57'600);  // 5 s of line
        int ticks = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
        timer.start(50);
        std::thread sender([&] { device.line().send(stream); });
        const QString expected = shown(stream, format);
        bool whole = qttest::eventually([&] { return text().size() >= expected.size(); }, 60s);
        sender.join();
        qttest::eventually([] { return false; }, 200ms);  // nothing more comes
        ASSERT_TRUE(whole) << format;
        EXPECT_EQ(text(), expected) << format;
        EXPECT_GT(ticks, 10) << format;  // 5 s of stream: some 100 ticks on a free thread
    }
}

// ---- Vesk transfers ----

struct MonitorWithLrzsz : ::testing::Test {
    testenv::IsolatedPorts env;
    testpeer::LrzszPeer peer;
    qttest::MessageBoxes boxes;
    qttest::FileDialogs files;
    fenwald::FenwaldSettings settings;
    std::unique_ptr<ShowRS232> window;
    std::string outbox, inbox;

    MonitorWithLrzsz() { qttest::ensureApplication(); }
    ~MonitorWithLrzsz() override {
        window.reset();
        qttest::stopWatching();
    }
    void SetUp() override {
        if (testpeer::LrzszPeer::program("sz").empty()) GTEST_SKIP() << "lrzsz is not installed";
        ASSERT_TRUE(peer.open(env.mapFile(), kPort));
        outbox = env.dir().file("outbox");
        inbox = env.dir().file("inbox");
        std::filesystem::create_directory(outbox);
        std::filesystem::create_directory(inbox);
        settings.port = kPort;
        settings.baudrate = 115200;
        window =
            std::make_unique<ShowRS232>(settings, nullptr, testcomponents::buildTreeRegistry());
        ASSERT_EQ(window->engine()->openPort(), kPort);
    }
    bool reopened() {
        return qttest::eventually(
            [&] { return !window->transferRunning() && window->engine()->openPort() == kPort; },
            60s);
    }
};

bool hasCancel(const sim::Bytes& bytes) {
    const sim::Bytes cans{serial::ymodem::kCan, serial::ymodem::kCan};
    return std::search(bytes.begin(), bytes.end(), cans.begin(), cans.end()) != bytes.end();
}

TEST_F(MonitorWithLrzsz, ATransferSaysWhomItWaitsForAndEscCancelsItWithCans) {
    testenv::writeFile(outbox + "/fw.bin", testcomponents::randomBytes(3000, 5));
    files.answerNext(outbox + "/fw.bin");
    EXPECT_FALSE(window->action(ShowRS232::kCancelTransfer)->isEnabled());
    window->OnCommand(ShowRS232::kTransmitVesk);
    ASSERT_TRUE(window->transferRunning());
    EXPECT_EQ(window->transferWaitText(), QStringLiteral("Waiting for the receiver\u2026"));
    EXPECT_TRUE(window->action(ShowRS232::kCancelTransfer)->isEnabled());
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    // No rz runs: without the cancel this would wait out every try.
    QTest::keyClick(window->terminal(), Qt::Key_Escape);
    ASSERT_TRUE(reopened());
    EXPECT_TRUE(qttest::eventually([&] { return hasCancel(peer.toPeer()); }));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
    EXPECT_TRUE(window->transferWaitText().isEmpty());
    EXPECT_FALSE(window->action(ShowRS232::kCancelTransfer)->isEnabled());
    EXPECT_TRUE(window->statusBar()->progressBar()->isHidden());

    // A receive says it waits for the sender.
    files.answerNext(inbox);
    window->OnCommand(ShowRS232::kReceiveVesk);
    ASSERT_TRUE(window->transferRunning());
    EXPECT_EQ(window->transferWaitText(), QStringLiteral("Waiting for the sender\u2026"));
    window->OnCommand(ShowRS232::kCancelTransfer);
    ASSERT_TRUE(reopened());
    EXPECT_TRUE(std::filesystem::is_empty(inbox));
}

TEST_F(MonitorWithLrzsz, CancellingFromTheMenuMidwayStopsSzAndReopensTheLine) {
    // Some 11 s at lrzsz's 921600 baud: well under way, far from done, when the cancel comes.
    testenv::writeFile(outbox + "/big.dat", testcomponents::randomBytes(1'000'000, 8));
    files.answerNext(inbox);
    window->OnCommand(ShowRS232::kReceiveVesk);
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    ASSERT_TRUE(peer.start({"sz", "--ymodem", "big.dat"}, outbox));
    ASSERT_TRUE(
        qttest::eventually([&] { return window->statusBar()->progressBar()->value() > 1; }, 30s));
    EXPECT_TRUE(window->transferWaitText().isEmpty());  // the sender has answered
    window->OnCommand(ShowRS232::kCancelTransfer);
    ASSERT_TRUE(reopened());
    EXPECT_NE(peer.wait(), 0) << peer.log();  // sz saw the CANs
    EXPECT_TRUE(hasCancel(peer.toPeer()));
    EXPECT_TRUE(std::filesystem::is_empty(inbox));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
}

TEST_F(MonitorWithLrzsz, ClosingDuringATransferAsksFirst) {
    files.answerNext(inbox);
    window->OnCommand(ShowRS232::kReceiveVesk);
    ASSERT_TRUE(window->transferRunning());
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    boxes.answerNext(QMessageBox::No);
    window->OnCommand(ShowRS232::kExit);
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Question);
    EXPECT_NE(window->engine(), nullptr);  // still open
    EXPECT_TRUE(window->transferRunning());

    boxes.answerNext(QMessageBox::Yes);
    window->close();  // the close box
    EXPECT_EQ(boxes.all().size(), 2u);
    EXPECT_EQ(window->engine(), nullptr);
    EXPECT_TRUE(qttest::eventually([&] { return hasCancel(peer.toPeer()); }));
}

TEST_F(MonitorWithLrzsz, TransmitToRzDeliversTheFileAndReopensTheLine) {
    const std::string content = testcomponents::randomBytes(5000, 9);
    testenv::writeFile(outbox + "/fw.bin", content);
    files.answerNext(outbox + "/fw.bin");
    window->OnCommand(ShowRS232::kTransmitVesk);
    ASSERT_TRUE(window->transferRunning());
    EXPECT_EQ(window->engine()->openPort(), 0);
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    ASSERT_TRUE(peer.start({"rz", "--ymodem"}, inbox));
    ASSERT_TRUE(reopened());
    EXPECT_EQ(peer.wait(), 0) << peer.log();
    EXPECT_EQ(testenv::readFile(inbox + "/fw.bin"), content);
    EXPECT_EQ(boxes.texts(), QStringList{"Sent fw.bin (5000 bytes)"});
    EXPECT_EQ(boxes.all().back().icon, QMessageBox::Information);
    EXPECT_TRUE(window->statusBar()->progressBar()->isHidden());
}

TEST_F(MonitorWithLrzsz, ReceiveFromSzAsksForAFolderAndReopensTheLine) {
    const std::string content = testcomponents::randomBytes(3000, 4);
    testenv::writeFile(outbox + "/log.dat", content);
    files.answerNext(inbox);
    window->OnCommand(ShowRS232::kReceiveVesk);
    ASSERT_EQ(files.all().size(), 1u);
    EXPECT_EQ(files.all()[0].mode, serial::ui::FileDialogRequest::Mode::Folder);
    EXPECT_EQ(files.all()[0].caption, "Select folder to store Vesk file");
    ASSERT_TRUE(window->transferRunning());
    ASSERT_TRUE(peer.waitForComponentRate(115200));
    ASSERT_TRUE(peer.start({"sz", "--ymodem", "log.dat"}, outbox));
    ASSERT_TRUE(reopened());
    EXPECT_EQ(peer.wait(), 0) << peer.log();
    EXPECT_EQ(testenv::readFile(inbox + "/log.dat"), content);
    ASSERT_EQ(boxes.texts().size(), 1);

    // The next receive starts at the folder chosen; cancelling reopens the line at once.
    window->OnCommand(ShowRS232::kReceiveVesk);
    ASSERT_EQ(files.all().size(), 2u);
    EXPECT_EQ(files.all()[1].proposedPath.toStdString(), inbox);
    EXPECT_FALSE(window->transferRunning());
    EXPECT_EQ(window->engine()->openPort(), kPort);
}

}  // namespace
