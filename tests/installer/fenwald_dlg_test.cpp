// The installer's main window with the real loader component (the build tree's registry)
// against the simulated scanner, message boxes and file dialogs answered by the recorders.
#include "installer/ui/fenwald_dlg.h"

#include <gtest/gtest.h>
#include <unistd.h>

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
    // The file went to the scanner and the outcome box came, with the menus back.
    void installed(CfenwaldDlg& w) {
        ASSERT_TRUE(outcome(w)) << boxes.texts().join('|').toStdString();
        EXPECT_GT(scanner.firmwareRequests(), 0);
        EXPECT_TRUE(menusEnabled(w));
        EXPECT_TRUE(w.progressBar()->isHidden());
        EXPECT_TRUE(w.statusLine()->text().isEmpty());
        const auto& box = boxes.all().back();
        EXPECT_EQ(box.caption, QStringLiteral("Info")) << box.text.toStdString();
        // The scanner keeps the file once it has acknowledged the batch's end.
        ASSERT_TRUE(testenv::eventually([&] { return scanner.firmware().has_value(); }));
        auto got = scanner.firmware();
        const std::string data = hexFile();
        EXPECT_EQ(got->bytes, sim::Bytes(data.begin(), data.end()));
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
    EXPECT_EQ(w.statusLine()->text(), QStringLiteral("0 % ready"));
    installed(w);
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
