// The installer's main window with the real loader component (the build tree's registry)
// against the simulated scanner, message boxes and file dialogs answered by the recorders.
#include "installer/ui/fenwald_dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QPushButton>
#include <algorithm>
#include <csignal>
#include <filesystem>

#include <QAction>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>

#include "installer/engine/loader_interface.h"
#include "installer/ui/fenwald_about.h"
#include "sim/scanner_device.h"
#include "tests/installer/component_test_support.h"
#include "tests/support/child_program.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;
using testcomponents::buildTreeRegistry;

namespace {

struct MainWindow : ::testing::Test {
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    qttest::MessageBoxes boxes;
    qttest::FileDialogs files;
    std::string cwd_;

    MainWindow() {
        qttest::ensureApplication();
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) cwd_ = cwd;
        // fenwald.ini goes into the working folder.
        EXPECT_EQ(::chdir(env.dir().path().c_str()), 0);
    }
    ~MainWindow() override {
        qttest::stopWatching();
        if (!cwd_.empty()) {
            EXPECT_EQ(::chdir(cwd_.c_str()), 0);
        }
    }
    void SetUp() override {
        ASSERT_TRUE(scanner.start(env.mapFile(), 3, "Veltrix Scanner (COM3)"));
        testenv::writeFile("fenwald.ini", "[Main]\nport=3\n");
    }
    std::string firmware(const std::string& name = "app.hex") {
        std::string path = env.dir().file(name);
        testenv::writeFile(path, hexFile());
        return path;
    }
    // The scanner receives the file as it is.
    static std::string hexFile() {
        return testcomponents::intelHex(testcomponents::randomBytes(2000, 3));
    }

    // Waits for the loader's outcome box.
    bool outcome(CfenwaldDlg& w) {
        return qttest::eventually([&] { return !w.Busy() && !boxes.all().empty(); }, 60s);
    }
    static bool menusEnabled(CfenwaldDlg& w) {
        for (QAction* a : w.menuBar()->actions())
            if (a->text() != QLatin1String("&About") && !a->isEnabled()) return false;
        return true;
    }
    // The file went to the scanner and the outcome box came, with the menus back and the
    // outcome kept on the status line.
    void installed(CfenwaldDlg& w) {
        ASSERT_TRUE(outcome(w)) << boxes.texts().join('|').toStdString();
        EXPECT_GT(scanner.firmwareRequests(), 0);
        EXPECT_TRUE(menusEnabled(w));
        EXPECT_TRUE(w.progressBar()->isHidden());
        EXPECT_TRUE(w.cancelButton()->isHidden());
        const auto& box = boxes.all().back();
        EXPECT_EQ(box.caption, QStringLiteral("Info")) << box.text.toStdString();
        EXPECT_EQ(w.statusLine()->text(),
                  QStringLiteral("Firmware app.hex installed (%1 bytes)").arg(hexFile().size()));
        EXPECT_EQ(box.text, w.statusLine()->text());
        // The scanner keeps the file once it has acknowledged the batch's end.
        ASSERT_TRUE(testenv::eventually([&] { return scanner.firmware().has_value(); }));
        auto got = scanner.firmware();
        const std::string data = hexFile();
        EXPECT_EQ(got->bytes, sim::Bytes(data.begin(), data.end()));
    }
    // A download at 9600 baud that takes over a minute, once its first block is through.
    void downloadUnderWay(CfenwaldDlg& w) {
        scanner.line().setPacing(true);
        const std::string path = env.dir().file("big.bin");
        testenv::writeFile(path, testcomponents::randomBytes(80 * 1024, 5));
        files.answerNext(path);
        w.action(CfenwaldDlg::kDownload)->trigger();
        ASSERT_TRUE(w.Busy());
        ASSERT_TRUE(qttest::eventually([&] { return w.progressBar()->value() > 0; }, 60s))
            << boxes.texts().join('|').toStdString();
        ASSERT_TRUE(w.Busy());
    }
    // The scanner was told the batch is off and kept nothing of it.
    void cancelledOnTheLine() {
        EXPECT_TRUE(testenv::eventually([&] {
            auto r = scanner.line().received();
            return std::search_n(r.begin(), r.end(), 2, 0x18) != r.end();
        }));
        EXPECT_FALSE(scanner.firmware());
    }
    static bool showsLoaderPicture(CfenwaldDlg& w, bool busy) {
        const auto png = w.Loader().picturePng(busy);
        QPixmap picture;
        picture.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG");
        return !picture.isNull() && w.loaderControl()->pixmap().toImage() == picture.toImage();
    }
    static void status(CfenwaldDlg& w, int percent, int code, const std::string& message) {
        w.Loader().events().push(
            platform::ComponentEvent{fenwald::gantry::kStatusEvent,
                                     {std::int16_t{0}, static_cast<std::int16_t>(percent),
                                      static_cast<std::int16_t>(code), message}});
        QCoreApplication::processEvents();
    }
};

void drop(QWidget& w, const QStringList& paths) {
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &event);
}

}  // namespace

TEST_F(MainWindow, ADownloadFromTheMenuInstallsTheFileWithTheMenusDisabledMeanwhile) {
    CfenwaldDlg w({}, buildTreeRegistry());
    files.answerNext(firmware());
    w.action(CfenwaldDlg::kDownload)->trigger();
    ASSERT_EQ(files.all().size(), 1u);
    EXPECT_TRUE(files.all()[0].filter.contains("*.HEX *.S2 *.S32 *.bin"));
    EXPECT_TRUE(w.Busy());
    EXPECT_FALSE(menusEnabled(w));
    EXPECT_FALSE(w.action(CfenwaldDlg::kDownloadAgain)->isEnabled());  // Ctrl+A too
    EXPECT_TRUE(w.progressBar()->isVisibleTo(&w));
    EXPECT_TRUE(w.cancelButton()->isVisibleTo(&w));
    EXPECT_TRUE(w.cancelButton()->isEnabled());
    EXPECT_TRUE(showsLoaderPicture(w, true));
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("0 % ready"));
    EXPECT_EQ(w.portLabel()->text(), QStringLiteral("Port: Veltrix Scanner (COM3)"));
    installed(w);
    EXPECT_TRUE(showsLoaderPicture(w, false));
    EXPECT_FALSE(w.action(CfenwaldDlg::kCancel)->isEnabled());

    // The next job clears the last outcome.
    w.action(CfenwaldDlg::kShowVersions)->trigger();
    EXPECT_TRUE(w.statusLine()->text().isEmpty());
    ASSERT_TRUE(outcome(w));
}

TEST_F(MainWindow, ThePortShownIsTheOneTheJobsWillUse) {
    env.writeMap("COM3 " + scanner.line().devicePath() + " Veltrix Scanner (COM3)\n" +
                 "COM4 /dev/null\n");
    CfenwaldDlg w({}, buildTreeRegistry());
    EXPECT_EQ(w.portLabel()->text(), QStringLiteral("Port: Veltrix Scanner (COM3)"));
    w.OnCommand(CfenwaldDlg::kFirstPort + 3);
    EXPECT_EQ(w.portLabel()->text(), QStringLiteral("Port: COM4"));
    w.OnCommand(CfenwaldDlg::kFirstPort + 2);
    // A port that leaves the map is still the one the jobs go to.
    env.writeMap("COM4 /dev/null\n");
    ASSERT_TRUE(qttest::eventually([&] {
        return w.portLabel()->text() == QStringLiteral("Port: COM3 (not found)");
    })) << w.portLabel()->text().toStdString();
}

TEST_F(MainWindow, EveryLoaderJobKeepsTheWindowBusyAndASecondIsRefusedNotQueued) {
    CfenwaldDlg w({}, buildTreeRegistry());
    const std::string previous = firmware();
    drop(w, {QString::fromStdString(previous)});
    ASSERT_TRUE(qttest::eventually([&] { return w.Busy(); }));
    installed(w);
    boxes.clear();
    const int requests = scanner.firmwareRequests();

    w.action(CfenwaldDlg::kShowVersions)->trigger();
    EXPECT_EQ(w.RunningJob(), CfenwaldDlg::Job::Versions);
    EXPECT_FALSE(menusEnabled(w));
    EXPECT_FALSE(w.action(CfenwaldDlg::kDownload)->isEnabled());
    EXPECT_FALSE(w.action(CfenwaldDlg::kSendTime)->isEnabled());
    EXPECT_TRUE(w.action(CfenwaldDlg::kCancel)->isEnabled());
    EXPECT_TRUE(w.cancelButton()->isVisibleTo(&w));
    EXPECT_TRUE(showsLoaderPicture(w, true));
    // A download, a time and a drop while it runs: each refused with a word.
    w.action(CfenwaldDlg::kDownload)->trigger();  // disabled: nothing
    EXPECT_TRUE(files.all().empty());
    EXPECT_TRUE(boxes.all().empty());
    w.OnCommand(CfenwaldDlg::kDownloadAgain);
    w.OnCommand(CfenwaldDlg::kSendTime);
    w.DropFiles({QString::fromStdString(firmware("other.hex"))});
    ASSERT_EQ(boxes.all().size(), 3u);
    EXPECT_TRUE(w.Busy());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(boxes.all()[i].text.toStdString(),
                  "The scanner is busy with another operation. Wait for it to end, or cancel it, "
                  "before starting another.");
        EXPECT_EQ(boxes.all()[i].icon, QMessageBox::Information);
    }
    EXPECT_EQ(w.FileName(), previous);  // the refused drop changed nothing

    ASSERT_TRUE(outcome(w));
    ASSERT_EQ(boxes.all().size(), 4u) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(boxes.all()[3].text.startsWith("Scanner software: "))
        << boxes.all()[3].text.toStdString();
    EXPECT_EQ(w.statusLine()->text(), boxes.all()[3].text);
    EXPECT_TRUE(menusEnabled(w));
    EXPECT_TRUE(showsLoaderPicture(w, false));

    // Send time is a job of its own as well. Had the refused ones been queued, they would
    // have run before it.
    w.action(CfenwaldDlg::kSendTime)->trigger();
    EXPECT_EQ(w.RunningJob(), CfenwaldDlg::Job::Time);
    EXPECT_FALSE(menusEnabled(w));
    ASSERT_TRUE(qttest::eventually([&] { return !w.Busy(); }, 60s));
    ASSERT_EQ(boxes.all().size(), 5u) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(w.statusLine()->text().startsWith("Scanner clock set to "))
        << w.statusLine()->text().toStdString();
    EXPECT_EQ(scanner.timesSet().size(), 1u);
    EXPECT_EQ(scanner.firmwareRequests(), requests);
}

TEST_F(MainWindow, CancelDuringAnInstallationSaysWhatItLeavesAndNothingIsInstalled) {
    CfenwaldDlg w({}, buildTreeRegistry());
    w.show();
    downloadUnderWay(w);
    w.cancelButton()->click();
    const QString line = QStringLiteral(
        "Installation cancelled: the scanner may be left without working firmware. Install "
        "again before you unplug it.");
    EXPECT_EQ(w.statusLine()->text(), line);
    EXPECT_FALSE(w.cancelButton()->isEnabled());
    EXPECT_FALSE(w.action(CfenwaldDlg::kCancel)->isEnabled());
    ASSERT_TRUE(qttest::eventually([&] { return !w.Busy(); }, 30s));
    EXPECT_EQ(w.statusLine()->text(), line);
    EXPECT_TRUE(boxes.all().empty()) << boxes.texts().join('|').toStdString();
    EXPECT_TRUE(menusEnabled(w));
    EXPECT_TRUE(w.progressBar()->isHidden());
    EXPECT_TRUE(w.cancelButton()->isHidden());
    cancelledOnTheLine();
    EXPECT_TRUE(w.isVisible());
}

TEST_F(MainWindow, EscCancelsTheOtherJobsWithAShortLineAndClosesOnlyWhenIdle) {
    ASSERT_EQ(scanner.command("silent on"), "ok");  // the loader goes on looking for it
    CfenwaldDlg w({}, buildTreeRegistry());
    w.show();
    const std::pair<int, const char*> jobs[] = {
        {CfenwaldDlg::kShowVersions, "Version query cancelled."},
        {CfenwaldDlg::kSendTime, "Send time cancelled."}};
    for (const auto& [command, line] : jobs) {
        w.OnCommand(command);
        ASSERT_TRUE(w.Busy());
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &esc);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(w.statusLine()->text(), QString::fromLatin1(line));
        ASSERT_TRUE(qttest::eventually([&] { return !w.Busy(); }, 30s));
        EXPECT_EQ(w.statusLine()->text(), QString::fromLatin1(line));
        EXPECT_TRUE(boxes.all().empty()) << boxes.texts().join('|').toStdString();
    }
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &esc);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(MainWindow, ClosingDuringAnInstallationAsksAndOnYesCancelsItAndEnds) {
    auto w = std::make_unique<CfenwaldDlg>(std::string{}, buildTreeRegistry());
    w->show();
    w->action(CfenwaldDlg::kFirstIrda + 1)->trigger();
    downloadUnderWay(*w);
    const QString question = QStringLiteral(
        "An installation is running. The scanner may be left without working firmware. Exit "
        "anyway?");

    // No: the installation goes on. Exit stays usable, Alt+X with it.
    EXPECT_TRUE(w->action(CfenwaldDlg::kExit)->isEnabled());
    boxes.answerNext(QMessageBox::No);
    w->action(CfenwaldDlg::kExit)->trigger();
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].text, question);
    EXPECT_EQ(boxes.all()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->Busy());
    const auto sent = scanner.line().received();
    EXPECT_EQ(std::search_n(sent.begin(), sent.end(), 2, 0x18), sent.end());

    // The close box, yes: cancelled, the settings saved, the window ends.
    boxes.answerNext(QMessageBox::Yes);
    w->close();
    ASSERT_EQ(boxes.all().size(), 2u);
    EXPECT_EQ(boxes.all()[1].text, question);
    ASSERT_TRUE(qttest::eventually([&] { return !w->isVisible(); }, 30s));
    EXPECT_EQ(w->result(), 0);
    cancelledOnTheLine();
    EXPECT_NE(testenv::readFile("fenwald.ini").find("irda=1"), std::string::npos);
    QCoreApplication::processEvents();
    w.reset();
    EXPECT_EQ(boxes.all().size(), 2u) << boxes.texts().join('|').toStdString();
}

// A loader that never reports after Cancel cannot hold the window: it ends after its wait.
TEST_F(MainWindow, ALoaderThatHangsHoldsAClosingWindowOnlyForALimitedTime) {
    platform::ComponentRegistry registry(env.dir().file("hung.ini"));
    ASSERT_TRUE(registry.registerComponent(fenwald::gantry::kProgId, fenwald::gantry::kClassId,
                                           TEST_COMPONENT_MODULE));
    CfenwaldDlg w(firmware(), registry);
    ASSERT_TRUE(w.Loader().created()) << w.Loader().creationError();
    w.show();
    ASSERT_TRUE(w.Busy());
    w.CloseWithoutAsking();
    EXPECT_TRUE(w.isVisible());  // waiting for the loader's last status
    ASSERT_TRUE(qttest::eventually([&] { return !w.isVisible(); }, 60s));
    EXPECT_TRUE(boxes.all().empty()) << boxes.texts().join('|').toStdString();  // never asked
}

// The program itself: SIGTERM ends it during an installation without a question, the
// installation cancelled on the line and the settings saved.
TEST_F(MainWindow, SigtermCancelsAnInstallationAndEndsTheProgramWithoutAsking) {
    const std::string work = env.dir().file("work");
    std::filesystem::create_directory(work);
    testenv::writeFile(work + "/fenwald.ini", "[Main]\nport=3\n");
    const std::string path = env.dir().file("big.bin");
    testenv::writeFile(path, testcomponents::randomBytes(80 * 1024, 5));
    scanner.line().setPacing(true);
    testenv::ChildProgram fenwald(FENWALD_BINARY, env.dir());
    fenwald.start({path}, {}, work);
    const std::string status = "/proc/" + std::to_string(fenwald.pid()) + "/status";
    // Once it catches SIGTERM (bit 15 of SigCgt) and the file's first blocks are through.
    ASSERT_TRUE(testenv::eventually(
        [&] {
            std::string text = testenv::readFile(status);
            auto at = text.find("SigCgt:");
            return at != std::string::npos &&
                   (std::stoull(text.substr(at + 7), nullptr, 16) >> (SIGTERM - 1) & 1) &&
                   scanner.line().received().size() > 3000;
        },
        60s));
    fenwald.terminate();
    testenv::Outcome r = fenwald.wait();
    EXPECT_EQ(r.status, 0) << r.err;
    cancelledOnTheLine();
    EXPECT_NE(testenv::readFile(work + "/fenwald.ini").find("port=3"), std::string::npos);
}

TEST_F(MainWindow, ASettingOutOfRangeFallsBackToTheDefaultWithAWarning) {
    testenv::writeFile("fenwald.ini", "[Main]\nport=65539\nirda=9\n");
    CfenwaldDlg w({}, buildTreeRegistry());
    EXPECT_EQ(w.Settings().port, 1);  // never COM3, the 16 bits of 65539
    EXPECT_EQ(w.Settings().irda, 0);
    ASSERT_TRUE(qttest::eventually([&] { return !boxes.all().empty(); }));
    ASSERT_EQ(boxes.all().size(), 1u);
    const std::string ini = env.dir().file("fenwald.ini");
    EXPECT_EQ(boxes.all()[0].text.toStdString(),
              ini + ": \"port\" takes a COM number from 1 to 255, not 65539.\n" + ini +
                  ": \"irda\" takes a type from 0 to 5, not 9.\nThe default is used instead.");
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral("Warning"));
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Warning);
}

TEST_F(MainWindow, AStartFileInQuotesAndBlanksIsDownloadedAtOnce) {
    const std::string path = firmware();
    CfenwaldDlg w("  \"" + path + "\"  ", buildTreeRegistry());
    EXPECT_EQ(w.FileName(), path);
    EXPECT_TRUE(w.Busy());
    installed(w);
}

TEST_F(MainWindow, ADroppedFileIsDownloadedAndTwoClearTheNameSoDownloadAgainAsks) {
    CfenwaldDlg w({}, buildTreeRegistry());
    drop(w, {QString::fromStdString(firmware())});
    ASSERT_TRUE(qttest::eventually([&] { return w.Busy(); }));
    installed(w);

    boxes.clear();
    drop(w, {QStringLiteral("/tmp/a.hex"), QStringLiteral("/tmp/b.hex")});
    ASSERT_TRUE(qttest::eventually([&] { return !boxes.all().empty(); }));
    EXPECT_EQ(boxes.all()[0].text, QStringLiteral("Too much files dropped!!!"));
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(w.FileName().empty());
    EXPECT_FALSE(w.Busy());
    w.action(CfenwaldDlg::kDownloadAgain)->trigger();
    EXPECT_EQ(files.all().size(), 1u);  // the file dialog, cancelled
    EXPECT_FALSE(w.Busy());
}

TEST_F(MainWindow, StatusCodesAreHandledByTheirRange) {
    CfenwaldDlg w({}, buildTreeRegistry());
    w.EnableMenus(false);
    w.progressBar()->show();
    status(w, 42, 2000, "ignored");
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("42 % ready"));
    EXPECT_EQ(w.progressBar()->value(), 42);
    status(w, 50, 2020, "ignored too");
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("50 % ready"));
    status(w, 51, 2003, "Sending the file");
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("Sending the file"));
    status(w, 52, 5, "nothing more");
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("52 % ready"));
    EXPECT_TRUE(boxes.all().empty());

    // 1040 shows its text but does not end the operation.
    status(w, 60, 1040, "Scanner restarts");
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].caption, QStringLiteral("Info"));
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::NoIcon);
    EXPECT_TRUE(w.progressBar()->isHidden());
    EXPECT_TRUE(w.statusLine()->text().isEmpty());
    EXPECT_FALSE(menusEnabled(w));
    for (int ending : {1050, 1100, 1030}) {
        w.EnableMenus(false);
        status(w, 0, ending, "over");
        EXPECT_TRUE(menusEnabled(w)) << ending;
    }
    w.EnableMenus(false);
    status(w, 0, 12, "Cannot open COM 3");
    EXPECT_EQ(boxes.all().back().caption, QStringLiteral("Error"));
    EXPECT_EQ(boxes.all().back().icon, QMessageBox::Critical);
    EXPECT_TRUE(menusEnabled(w));
}

TEST_F(MainWindow, AConfigurationStartFileOpensTheDialogAfterTheFirstPaint) {
    for (const char* name : {"a.VSC", "a.vsc.bak", "a.vsc.vsc"}) {
        CfenwaldDlg w(env.dir().file(name), buildTreeRegistry());
        EXPECT_TRUE(w.Busy()) << name;  // a firmware download (of a file that is not there)
        EXPECT_FALSE(w.ConfigurationPending()) << name;
        ASSERT_TRUE(outcome(w)) << name;
        boxes.clear();
    }
    const std::string vsc = env.dir().file("scanner.vsc");
    CfenwaldDlg w(vsc, buildTreeRegistry());
    std::vector<bool> opened;
    w.setConfigurationOpener([&](CfenwaldDlg&, bool load) { opened.push_back(load); });
    EXPECT_FALSE(w.Busy());
    EXPECT_EQ(w.ConfigurationPath(), vsc);
    QCoreApplication::processEvents();
    EXPECT_TRUE(opened.empty());  // not before the window is painted
    w.show();
    ASSERT_TRUE(qttest::eventually([&] { return !opened.empty(); }));
    EXPECT_EQ(opened, std::vector<bool>{true});
    w.repaint();
    QCoreApplication::processEvents();
    EXPECT_EQ(opened.size(), 1u);  // once

    // A dropped one opens it at once; the menu's without loading.
    drop(w, {QStringLiteral("/tmp/other.vsc")});
    ASSERT_TRUE(qttest::eventually([&] { return opened.size() == 2; }));
    EXPECT_TRUE(opened[1]);
    EXPECT_EQ(w.ConfigurationPath(), "/tmp/other.vsc");
    w.action(CfenwaldDlg::kSendConfiguration)->trigger();
    EXPECT_EQ(opened, (std::vector<bool>{true, true, false}));
    w.done(0);
}

TEST_F(MainWindow, PortAndIrdaItemsSetTheirSettingAndAPortAbove255SelectsNothing) {
    env.writeMap("COM3 " + scanner.line().devicePath() + " Veltrix Scanner (COM3)\n" +
                 "COM300 /dev/null High port (COM300)\n");
    CfenwaldDlg w({}, buildTreeRegistry());
    QAction* high = nullptr;
    for (QAction* a : w.portMenu()->actions())
        if (a->data().toInt() == CfenwaldDlg::kFirstPort + 299) high = a;
    ASSERT_NE(high, nullptr);
    high->trigger();
    EXPECT_EQ(w.Settings().port, 3);

    w.action(CfenwaldDlg::kFirstIrda + 5)->trigger();
    EXPECT_EQ(w.Settings().irda, 5);
    EXPECT_TRUE(w.action(CfenwaldDlg::kFirstIrda + 5)->isChecked());
    EXPECT_FALSE(w.action(CfenwaldDlg::kFirstIrda)->isChecked());
    EXPECT_EQ(w.action(CfenwaldDlg::kFirstIrda + 4)->text(), QStringLiteral("KWD4400 cradle"));
}

TEST_F(MainWindow, TheAboutBoxOpensDuringADownload) {
    CfenwaldDlg w(firmware(), buildTreeRegistry());
    ASSERT_TRUE(w.Busy());
    EXPECT_TRUE(w.action(CfenwaldDlg::kAbout)->isEnabled());
    bool shown = false;
    qttest::whenOpen<FenwaldAbout>([&](FenwaldAbout& about) {
        shown = true;
        about.accept();
    });
    w.action(CfenwaldDlg::kAbout)->trigger();
    EXPECT_TRUE(shown);
    installed(w);
}

TEST_F(MainWindow, AMissingLoaderIsReportedAndTheWindowWorksOn) {
    CfenwaldDlg w({}, platform::ComponentRegistry(env.dir().file("none.ini")));
    ASSERT_TRUE(qttest::eventually([&] { return !boxes.all().empty(); }));
    EXPECT_TRUE(boxes.all()[0].text.contains("Gantry.Gantry cannot be created"))
        << boxes.all()[0].text.toStdString();
    w.action(CfenwaldDlg::kFirstIrda + 2)->trigger();
    EXPECT_EQ(w.Settings().irda, 2);
    files.answerNext(firmware());
    w.action(CfenwaldDlg::kDownload)->trigger();
    EXPECT_EQ(boxes.all().size(), 2u);
    EXPECT_FALSE(w.Busy());
    EXPECT_TRUE(menusEnabled(w));
}

TEST_F(MainWindow, EnterIsIgnoredAndEscClosesAndSavesTheSettings) {
    CfenwaldDlg w({}, buildTreeRegistry());
    w.show();
    w.action(CfenwaldDlg::kFirstIrda + 3)->trigger();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    EXPECT_TRUE(w.isVisible());
    QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &esc);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), 0);
    EXPECT_NE(testenv::readFile("fenwald.ini").find("irda=3"), std::string::npos);
}
