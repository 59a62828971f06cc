// The scanner configuration dialog against the simulated scanner over a pseudo-terminal, and the
// HID send through the recording lock keys; the dialog's jobs run on its worker while the test
// keeps the event loop going.
#include "installer/ui/configure_scanner.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <condition_variable>
#include <mutex>

#include "serial/port_discovery.h"
#include "sim/scanner_device.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

namespace {

constexpr char kScannerName[] = "Veltrix Scanner (COM7)";

struct ConfigureDialog : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    qttest::MessageBoxes boxes;
    std::string path;

    ConfigureDialog() { qttest::ensureApplication(); }
    ~ConfigureDialog() override {
        qttest::stopWatching();
        ConfigureScanner::setLockKeysFactory(nullptr);
        ConfigureScanner::setIndicatorPause(nullptr);
        ConfigureScanner::setUrlOpener(nullptr);
        serial::setCurrentPortName({});
    }
    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 7, kScannerName));
        // The port the main window's Port menu has checked.
        serial::setCurrentPortName(kScannerName);
        path = env.dir().file("scanner.vsc");
    }
    void writeConfiguration(const std::string& content) { testenv::writeFile(path, content); }
    bool idle(ConfigureScanner& d) {
        return qttest::eventually([&] { return !d.Busy(); }, 20s);
    }
    std::string received() {
        auto r = scanner.line().received();
        return std::string(r.begin(), r.end());
    }
};

}  // namespace

TEST_F(ConfigureDialog, AScannerAt19200IsFoundAndTheLabelsSaySo) {
    scanner.setOwnRates({19200});
    ConfigureScanner d(path, false);
    EXPECT_EQ(d.scannerList()->currentText(), QString::fromLatin1(kScannerName));
    EXPECT_TRUE(d.Busy());  // the search runs on the worker
    EXPECT_FALSE(d.openAction()->isEnabled());
    ASSERT_TRUE(idle(d));
    EXPECT_TRUE(d.Connected());
    EXPECT_TRUE(d.LineOpen());
    EXPECT_EQ(d.PortNumber(), 7);
    EXPECT_EQ(d.comPortLabel()->text(), QStringLiteral("COM 7"));
    EXPECT_EQ(d.baudRateLabel()->text(), QStringLiteral("19200 bps"));
    EXPECT_FALSE(d.configureButton()->isEnabled());  // nothing loaded yet
    EXPECT_TRUE(d.openAction()->isEnabled());
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(ConfigureDialog, AnswersAtTwoRatesGiveNotApplicable) {
    scanner.setOwnRates({9600, 115200});
    ConfigureScanner d(path, false);
    ASSERT_TRUE(idle(d));
    EXPECT_EQ(d.baudRateLabel()->text(), QStringLiteral("N/A"));
}

TEST_F(ConfigureDialog, AConfigurationGoesOutWithOrWithoutZ2AndItsAnswerIsShown) {
    writeConfiguration("Config=ABC");
    ConfigureScanner d(path, true);
    ASSERT_TRUE(idle(d));
    EXPECT_EQ(d.fileNameLabel()->text(), QStringLiteral("scanner.vsc"));
    EXPECT_EQ(d.configurationStatus()->text(), QStringLiteral("Configuration found."));
    ASSERT_TRUE(d.configureButton()->isEnabled());
    EXPECT_TRUE(d.makePermanentBox()->isChecked());

    scanner.line().clearReceived();
    d.configureButton()->click();
    EXPECT_TRUE(d.Busy());
    EXPECT_EQ(
        QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
        Qt::WaitCursor);
    ASSERT_TRUE(idle(d));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral(" Information"));
    EXPECT_EQ(boxes.all()[0].text, QStringLiteral("Scanner Configured succesfully!"));
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Information);
    // The configuration first, then the scanner is looked for again.
    EXPECT_EQ(received().rfind("\x1b"
                               "ABCZ2\r",
                               0),
              0u);
    EXPECT_NE(received().find("\x1bWC\r"), std::string::npos);
    EXPECT_TRUE(d.Connected());

    // Without "Make settings permanently", to a scanner that refuses it.
    ASSERT_EQ(scanner.command("fault config-refuse"), "ok");
    d.makePermanentBox()->click();
    scanner.line().clearReceived();
    boxes.clear();
    d.configureButton()->click();
    ASSERT_TRUE(idle(d));
    EXPECT_EQ(received(),
              "\x1b"
              "ABC\r");
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral(" Error"));
    EXPECT_EQ(boxes.all()[0].text, QStringLiteral("Scanner does not accept configuration."));
}

TEST_F(ConfigureDialog, AFailedLoadKeepsTheEarlierConfigurationAndTwoDroppedFilesLoadNothing) {
    writeConfiguration("Config=ABC");
    ConfigureScanner d(path, true);
    ASSERT_TRUE(idle(d));
    ASSERT_EQ(d.Configuration(), "ABC");

    const std::pair<std::string, const char*> bad[] = {
        {"Config=", "Configuration file is empty."},
        {"Config", "Configuration file is not valid."},
        {"config=ABC", "Configuration file is not valid."},
        {"Config=" + std::string(494, 'x'), "Configuration file is not valid."},  // 501 bytes
    };
    for (const auto& [content, text] : bad) {
        boxes.clear();
        writeConfiguration(content);
        d.DropFiles({QString::fromStdString(path)});
        ASSERT_EQ(boxes.all().size(), 1u) << text;
        EXPECT_EQ(boxes.all()[0].caption, QStringLiteral(" Error"));
        EXPECT_EQ(boxes.all()[0].text, QString::fromLatin1(text));
        EXPECT_EQ(d.Configuration(), "ABC");
        EXPECT_EQ(d.fileNameLabel()->text(), QStringLiteral("scanner.vsc"));
    }
    boxes.clear();
    writeConfiguration("Config=" + std::string(493, 'y'));  // exactly 500 bytes
    d.DropFiles({QString::fromStdString(path)});
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_EQ(d.Configuration(), std::string(493, 'y'));

    writeConfiguration(std::string("Config=AB\0CD", 12));
    d.DropFiles({QString::fromStdString(path)});
    EXPECT_EQ(d.Configuration(), "AB");

    d.DropFiles({QStringLiteral("/tmp/a.vsc"), QStringLiteral("/tmp/b.vsc")});
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes.all()[0].text, QStringLiteral("Too much files dropped!!!"));
    EXPECT_EQ(d.Configuration(), "AB");
}

TEST_F(ConfigureDialog, RemovingTheOpenPortFromThePortMapClosesTheLineAndRebuildsTheList) {
    ConfigureScanner d(path, false);
    ASSERT_TRUE(idle(d));
    ASSERT_TRUE(d.LineOpen());
    ASSERT_EQ(d.scannerList()->count(), 1);
    env.writeMap("");
    ASSERT_TRUE(qttest::eventually([&] { return d.scannerList()->count() == 0; }));
    EXPECT_FALSE(d.LineOpen());
    EXPECT_FALSE(d.Connected());
    EXPECT_TRUE(d.comPortLabel()->text().isEmpty());
}

TEST_F(ConfigureDialog, NoScannerOnTheChosenPortSaysSoInTheLabelsWithoutABox) {
    scanner.line().setSilent(true);
    ConfigureScanner d(path, false);
    ASSERT_TRUE(idle(d));
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.LineOpen());
    EXPECT_EQ(d.comPortLabel()->text(), QStringLiteral("COM 7"));
    EXPECT_EQ(d.baudRateLabel()->text(), QStringLiteral("No scanner found"));
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("|").toStdString();
    // HID mode has no port to name.
    d.hidBox()->click();
    EXPECT_TRUE(d.comPortLabel()->text().isEmpty());
    EXPECT_TRUE(d.baudRateLabel()->text().isEmpty());
}

TEST_F(ConfigureDialog, HidModeWithALoadedConfigurationEnablesConfigureWithoutAPort) {
    scanner.line().setSilent(true);
    writeConfiguration("Config=A");
    ConfigureScanner d(path, true);
    ASSERT_TRUE(idle(d));
    EXPECT_FALSE(d.Connected());
    EXPECT_FALSE(d.configureButton()->isEnabled());
    d.hidBox()->click();
    EXPECT_TRUE(d.configureButton()->isEnabled());
    EXPECT_FALSE(d.scannerList()->isEnabled());
    d.hidBox()->click();
    EXPECT_FALSE(d.configureButton()->isEnabled());
    EXPECT_TRUE(d.Busy());  // the remembered port is searched again
    ASSERT_TRUE(idle(d));
    EXPECT_TRUE(d.scannerList()->isEnabled());
    EXPECT_FALSE(d.configureButton()->isEnabled());
}

namespace {

// The dialog's keys forward to the test's recorder, which outlives the job.
struct ForwardingKeys final : platform::LockKeys {
    explicit ForwardingKeys(platform::RecordingLockKeys& to) : to_(to) {}
    bool available() const override { return true; }
    bool press(platform::LockKey key) override { return to_.press(key); }
    std::optional<bool> state(platform::LockKey key) override { return to_.state(key); }
    platform::RecordingLockKeys& to_;
};

// Lets the indicator waits through one at a time, as the test says.
struct Gate {
    std::mutex lock;
    std::condition_variable changed;
    int allowed = 0, passed = 0;
    bool open = false;
    void pass() {
        std::unique_lock l(lock);
        changed.wait(l, [&] { return open || passed < allowed; });
        ++passed;
        changed.notify_all();
    }
    void allow(int n) {
        std::lock_guard l(lock);
        allowed += n;
        changed.notify_all();
    }
    void openUp() {
        std::lock_guard l(lock);
        open = true;
        changed.notify_all();
    }
    int count() {
        std::lock_guard l(lock);
        return passed;
    }
};

struct PaintCounter : QObject {
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
};

}  // namespace

TEST_F(ConfigureDialog, AHidSendRunsWhileTheWindowRepaintsAndPutsTheIndicatorsBack) {
    platform::RecordingLockKeys keys;
    keys.states[static_cast<int>(platform::LockKey::CapsLock)] = true;
    Gate gate;
    ConfigureScanner::setLockKeysFactory([&] { return std::make_unique<ForwardingKeys>(keys); });
    ConfigureScanner::setIndicatorPause([&](std::chrono::milliseconds) { gate.pass(); });

    scanner.line().setSilent(true);
    writeConfiguration("Config=A");
    ConfigureScanner d(path, true);
    ASSERT_TRUE(idle(d));
    d.hidBox()->click();
    d.show();
    PaintCounter counter;
    d.installEventFilter(&counter);

    d.configureButton()->click();
    ASSERT_TRUE(d.Busy());
    EXPECT_TRUE(d.hidProgress()->isVisibleTo(&d));
    // Two bytes through (ESC and 'A': 8 pairs, 16 waits), then the send is held.
    gate.allow(16);
    ASSERT_TRUE(qttest::eventually([&] { return d.hidProgress()->value() == 2; }));
    EXPECT_EQ(d.hidProgress()->maximum(), 5);  // ESC A Z 2 CR
    const int before = counter.paints;
    d.update();
    ASSERT_TRUE(qttest::eventually([&] { return counter.paints > before; }));
    EXPECT_TRUE(d.Busy());
    EXPECT_FALSE(d.configureButton()->isEnabled());
    EXPECT_FALSE(d.openAction()->isEnabled());
    EXPECT_FALSE(d.hidBox()->isEnabled());
    d.DropFiles({QStringLiteral("/tmp/x.vsc")});  // refused while sending
    EXPECT_TRUE(boxes.all().empty());

    gate.openUp();
    ASSERT_TRUE(idle(d));
    EXPECT_EQ(gate.count(), 5 * 4 * 2);
    EXPECT_TRUE(d.hidProgress()->isHidden());
    EXPECT_TRUE(boxes.all().empty());  // no acknowledgement, no message
    // Caps Lock was on: back on; the others off.
    EXPECT_TRUE(keys.states[static_cast<int>(platform::LockKey::CapsLock)]);
    EXPECT_FALSE(keys.states[static_cast<int>(platform::LockKey::NumLock)]);
    EXPECT_FALSE(keys.states[static_cast<int>(platform::LockKey::ScrollLock)]);
    // The 'A' (0x41): pairs (0,1) (0,0) (0,0) (0,1) after ESC (0x1B: (0,0) (0,1) (1,0) (1,1)).
    std::vector<std::string> expected = {"CapsLock"};  // switched off first
    auto pair = [&](bool caps, bool num, bool& c, bool& n) {
        if (c != caps) expected.push_back("CapsLock"), c = caps;
        if (n != num) expected.push_back("NumLock"), n = num;
        expected.push_back("ScrollLock");
        expected.push_back("ScrollLock");
    };
    bool c = false, n = false;
    for (std::uint8_t byte : {0x1B, 0x41, 0x5A, 0x32, 0x0D})
        for (int shift = 6; shift >= 0; shift -= 2)
            pair((byte >> (shift + 1)) & 1, (byte >> shift) & 1, c, n);
    // Put back as they were: Caps Lock on, Num Lock off.
    if (!c) expected.push_back("CapsLock");
    if (n) expected.push_back("NumLock");
    EXPECT_EQ(keys.journal, expected);
}

TEST_F(ConfigureDialog, LeavingDuringAHidSendCancelsItAndRestoresTheIndicators) {
    platform::RecordingLockKeys keys;
    Gate gate;
    ConfigureScanner::setLockKeysFactory([&] { return std::make_unique<ForwardingKeys>(keys); });
    ConfigureScanner::setIndicatorPause([&](std::chrono::milliseconds) { gate.pass(); });
    scanner.line().setSilent(true);
    writeConfiguration("Config=ABCDEF");
    ConfigureScanner d(path, true);
    ASSERT_TRUE(idle(d));
    d.hidBox()->click();
    d.configureButton()->click();
    gate.allow(3);
    ASSERT_TRUE(qttest::eventually([&] { return gate.count() == 3; }));
    gate.openUp();  // the cancel ends it at the next step
    d.done(0);
    EXPECT_FALSE(d.Busy());
    for (bool on : keys.states) EXPECT_FALSE(on);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ConfigureDialog, TheWebSitesOpenInTheBrowserAndTheAboutBoxShows) {
    scanner.line().setSilent(true);
    QStringList opened;
    ConfigureScanner::setUrlOpener([&](const QString& url) { opened << url; });
    ConfigureScanner d(path, false);
    ASSERT_TRUE(idle(d));
    d.OnNew();
    d.OnVisit();
    EXPECT_EQ(opened, (QStringList{QString::fromLatin1(ConfigureScanner::kConfigurationSite),
                                   QString::fromLatin1(ConfigureScanner::kMainSite)}));
    bool shown = false;
    qttest::whenOpen<fenwald::ui::CAboutDlg>([&](fenwald::ui::CAboutDlg& about) {
        shown = about.windowTitle() == QStringLiteral("About Configure Scanner");
        about.accept();
    });
    d.OnAbout();
    EXPECT_TRUE(shown);
}
