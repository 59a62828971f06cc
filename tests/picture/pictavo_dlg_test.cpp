#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "picture/ui/pictavo_dlg.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "tests/picture/picture_test_support.h"
#include "tests/picture/picture_ui_test_support.h"

using namespace std::chrono_literals;
using uitest::eventually;
using uitest::ScannerWindowTest;
using uitest::whenOpen;
using uitest::WindowTest;

namespace {

QMenu* submenu(QMenu* menu, const QString& title) {
    for (QAction* a : menu->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

QMenu* topMenu(QMenuBar* bar, const QString& title) {
    for (QAction* a : bar->actions())
        if (a->menu() && a->text() == title) return a->menu();
    return nullptr;
}

QAction* item(QMenu* menu, const QString& text) {
    if (!menu) return nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == text) return a;
    return nullptr;
}

// The checked items' texts of a submenu of "&Settings".
QStringList checkedIn(CPictavoDlg& dlg, const QString& title) {
    QStringList checked;
    QMenu* menu = submenu(topMenu(dlg.menuBar(), "&Settings"), title);
    if (!menu) return {"no menu " + title};
    for (QAction* a : menu->actions())
        if (a->isChecked()) checked << a->text();
    return checked;
}

void pick(CPictavoDlg& dlg, const QString& title, const QString& text) {
    QAction* a = item(submenu(topMenu(dlg.menuBar(), "&Settings"), title), text);
    ASSERT_NE(a, nullptr) << title.toStdString() << " / " << text.toStdString();
    a->trigger();
}

void showActive(QWidget& w) {
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
}

std::string settingsText(CPictavoDlg& dlg) {
    return testenv::readFile(dlg.SettingsPath());
}

const std::string kReset = "\x1bZ1\r";

}  // namespace

TEST_F(WindowTest, WithoutASettingsFileStartWritesEveryKeyAtItsDefault) {
    const std::string path = platform::joinPath(platform::configFolder(), "Veltrix/kivvision.ini");
    ASSERT_FALSE(platform::fileExists(path));
    CPictavoDlg dlg;
    EXPECT_EQ(dlg.SettingsPath(), path);
    EXPECT_EQ(dlg.windowTitle(), "Zoral Vision Demo");
    EXPECT_EQ(dlg.statusLine()->font().pointSize(), 16);
    EXPECT_TRUE(dlg.progressBar()->isHidden());
    EXPECT_TRUE(dlg.cancelButton()->isHidden());
    const std::pair<const char*, const char*> expected[] = {{"Main", "port=1"},
                                                            {"Main", "size=104"},
                                                            {"Size", "startx=0"},
                                                            {"Size", "starty=0"},
                                                            {"Size", "endx=1279"},
                                                            {"Size", "endy=1023"},
                                                            {"Quality", "quality=65"},
                                                            {"Snapshot", "snapshot=1"},
                                                            {"Illumination", "illumination=1"},
                                                            {"Main", "IgnorePortName=1"},
                                                            {"Main", "JPEGImage=1"},
                                                            {"Main", "EnableCameraSettings=1"},
                                                            {"Main", "CameraSetup=[OOUQ1Q0Q0Q2Q1"},
                                                            {"Main", "DebugCommands=0"}};
    const std::string text = testenv::readFile(path);
    for (const auto& [section, line] : expected) {
        EXPECT_NE(text.find("[" + std::string(section) + "]"), std::string::npos) << section;
        EXPECT_NE(text.find(line), std::string::npos) << line;
    }
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_FALSE(dlg.TempFile().empty());
    EXPECT_TRUE(platform::fileExists(dlg.TempFile()));
}

TEST_F(WindowTest, AWindowTheSizeDialogWouldRefuseFallsBackToTheDefaultWithAWarning) {
    const std::string path = platform::joinPath(platform::configFolder(), "Veltrix/kivvision.ini");
    ASSERT_TRUE(platform::createDirectories(platform::parentFolder(path)));
    testenv::writeFile(path, "[Size]\nstartx=900\nendx=300\n");
    CPictavoDlg dlg;
    EXPECT_EQ(
        boxes.texts(),
        std::vector<QString>{QString::fromStdString(
            path + ": the picture window startx=900, starty=0, endx=300, endy=1023 is not inside "
                   "1280 x 1024 pixels and at least 2 x 2 (startx < endx < 1280, starty < endy < "
                   "1024); the default window 0, 0, 1279, 1023 is used.")});
    EXPECT_EQ(dlg.Settings().startx, 0);
    EXPECT_EQ(dlg.Settings().endx, 1279);
}

TEST_F(WindowTest, ASaveThatFailsIsShownWithThePathAndTheReasonAndTheFileStaysAsItWas) {
    CPictavoDlg dlg;
    const std::string before = settingsText(dlg);
    pick(dlg, "Set &Snapshot mode", "Off");
    platform::failDurableWritesAfter(100);  // the disk fills up during the save
    item(topMenu(dlg.menuBar(), "&File"), "Save Settings")->trigger();
    platform::failDurableWritesAfter(-1);
    ASSERT_EQ(boxes.texts(),
              std::vector<QString>{QString::fromStdString("Cannot write " + dlg.SettingsPath() +
                                                          ": No space left on device")});
    EXPECT_EQ(boxes.all()[0].caption, "Error");
    EXPECT_EQ(settingsText(dlg), before);
    item(topMenu(dlg.menuBar(), "&File"), "Save Settings")->trigger();
    EXPECT_NE(settingsText(dlg).find("snapshot=0"), std::string::npos);
    EXPECT_EQ(boxes.all().size(), 1u);
}

TEST_F(WindowTest, EverySettingCommandChecksItsItemAtOnceAndExitSavesThem) {
    CPictavoDlg dlg;
    EXPECT_EQ(checkedIn(dlg, "&Initial Scale"), QStringList{"25 %"});
    EXPECT_EQ(checkedIn(dlg, "Set &Snapshot mode"), QStringList{"On"});
    EXPECT_EQ(checkedIn(dlg, "Enable LED's for illumination"), QStringList{"Yes"});
    EXPECT_EQ(checkedIn(dlg, "Ignore Port Name"), QStringList{"Yes"});
    EXPECT_EQ(checkedIn(dlg, "&JPEG Image"), QStringList{"JPEG"});

    const std::pair<QString, int> scales[] = {
        {"50 %", 105}, {"75 %", 106}, {"100 %", 107}, {"25 %", 104}};
    for (const auto& [text, code] : scales) {
        pick(dlg, "&Initial Scale", text);
        EXPECT_EQ(dlg.Settings().scale, code);
        EXPECT_EQ(checkedIn(dlg, "&Initial Scale"), QStringList{text});
    }
    pick(dlg, "Set &Snapshot mode", "Off");
    EXPECT_EQ(dlg.Settings().snapshot, 0);
    EXPECT_EQ(checkedIn(dlg, "Set &Snapshot mode"), QStringList{"Off"});
    pick(dlg, "Enable LED's for illumination", "No");
    EXPECT_EQ(dlg.Settings().illumination, 0);
    EXPECT_EQ(checkedIn(dlg, "Enable LED's for illumination"), QStringList{"No"});
    pick(dlg, "Ignore Port Name", "No");
    EXPECT_EQ(dlg.Settings().ignorePortName, 0);
    EXPECT_EQ(checkedIn(dlg, "Ignore Port Name"), QStringList{"No"});
    pick(dlg, "&JPEG Image", "BMP");
    EXPECT_EQ(dlg.Settings().jpegImage, 0);
    EXPECT_EQ(checkedIn(dlg, "&JPEG Image"), QStringList{"BMP"});
    pick(dlg, "&Initial Scale", "75 %");

    // Nothing is written until exit (or "Save Settings").
    EXPECT_NE(settingsText(dlg).find("JPEGImage=1"), std::string::npos);
    // "Load Settings" brings back the file's values and their check marks.
    item(topMenu(dlg.menuBar(), "&File"), "Load Settings")->trigger();
    EXPECT_EQ(checkedIn(dlg, "&JPEG Image"), QStringList{"JPEG"});
    EXPECT_EQ(checkedIn(dlg, "&Initial Scale"), QStringList{"25 %"});

    pick(dlg, "&JPEG Image", "BMP");
    pick(dlg, "Set &Snapshot mode", "Off");
    item(topMenu(dlg.menuBar(), "&File"), "E&xit")->trigger();
    const std::string saved = settingsText(dlg);
    EXPECT_NE(saved.find("JPEGImage=0"), std::string::npos);
    EXPECT_NE(saved.find("snapshot=0"), std::string::npos);
    EXPECT_NE(saved.find("size=104"), std::string::npos);
}

TEST_F(WindowTest, PortsThreeAndTwelveGiveCommands32824And32833AndPickingOneSelectsIt) {
    env.writeMap("COM12 /dev/null Veltrix Scanner (COM12)\nCOM3 /dev/null\n");
    CPictavoDlg dlg;
    std::vector<std::pair<QString, int>> items;
    for (QAction* a : dlg.portMenu()->actions()) items.emplace_back(a->text(), a->data().toInt());
    EXPECT_EQ(items, (std::vector<std::pair<QString, int>>{{"COM3", 32824},
                                                           {"Veltrix Scanner (COM12)", 32833}}));
    EXPECT_EQ(checkedIn(dlg, "&Port"), QStringList{});  // port 1 is not there

    dlg.portMenu()->actions()[1]->trigger();
    EXPECT_EQ(dlg.Settings().port, 12);
    EXPECT_EQ(checkedIn(dlg, "&Port"), QStringList{"Veltrix Scanner (COM12)"});
    dlg.OnPortCommand(32822 + 100);  // beyond port 100: not a port command
    EXPECT_EQ(dlg.Settings().port, 12);
}

TEST_F(WindowTest, APortMapLineAddedWhileRunningAddsItsPortItem) {
    env.writeMap("COM3 /dev/null\n");
    CPictavoDlg dlg;
    ASSERT_EQ(dlg.portMenu()->actions().size(), 1);
    env.writeMap("COM3 /dev/null\nCOM7 /dev/null Veltrix USB Scanner (COM7)\n");
    ASSERT_TRUE(eventually([&] { return dlg.portMenu()->actions().size() == 2; }));
    EXPECT_EQ(dlg.portMenu()->actions()[1]->text(), "Veltrix USB Scanner (COM7)");
    EXPECT_EQ(dlg.portMenu()->actions()[1]->data().toInt(), 32828);
    env.writeMap("COM7 /dev/null Veltrix USB Scanner (COM7)\n");
    ASSERT_TRUE(eventually([&] { return dlg.portMenu()->actions().size() == 1; }));
}

TEST_F(WindowTest, AFailedDeviceCheckSaysWhyThenInitializationFailedAndClearsTheStatus) {
    CPictavoDlg dlg;
    dlg.OnTakePicture();
    EXPECT_EQ(boxes.texts(),
              (std::vector<QString>{
                  QString::fromStdString("No ports found.\n" + picturetest::lookedFor(1)),
                  "Initialization Failed."}));
    EXPECT_EQ(boxes.all()[1].caption, "");  // a plain box of the application
    EXPECT_EQ(dlg.statusLine()->text(), "");
    boxes.clear();
    env.writeMap("COM4 /dev/null\n");
    dlg.OnTakePicture();
    EXPECT_EQ(boxes.texts(),
              (std::vector<QString>{
                  QString::fromStdString("Port not found.\n" + picturetest::lookedFor(1)),
                  "Initialization Failed."}));

    // Once the scanner is there the same engine checks the whole device again and succeeds.
    boxes.clear();
    sim::ScannerDevice scanner;
    ASSERT_TRUE(scanner.start(env.mapFile(), 1, "Veltrix 2D Scanner (COM1)"));
    dlg.OnTakePicture();
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_EQ(dlg.statusLine()->text(), "Aim and trigger...");
    ASSERT_TRUE(eventually([&] { return !scanner.requests().empty(); }));
    dlg.OnCancel();
    EXPECT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
}

TEST_F(WindowTest, HelpAboutPaintsTheBitmapAcrossTheTopOnWhiteAndOkClosesIt) {
    CPictavoDlg dlg;
    whenOpen<CAbout>([](CAbout& about) {
        EXPECT_FALSE(about.windowIcon().isNull());
        ASSERT_FALSE(about.bitmap().isNull());
        const QImage shown = about.grab().toImage();
        int painted = 0;
        for (int x = 0; x < shown.width(); ++x)
            painted +=
                shown.pixelColor(x, CAbout::kBitmapTop + CAbout::kBitmapHeight / 2) != Qt::white;
        EXPECT_GT(painted, shown.width() / 2);
        EXPECT_EQ(shown.pixelColor(0, 0), Qt::white);
        about.findChild<QPushButton*>("okButton")->click();
        if (about.isVisible()) {
            ADD_FAILURE() << "OK left the about box open";
            about.reject();
        }
    });
    QAction* aboutItem = item(topMenu(dlg.menuBar(), "&Help"), "&About");
    ASSERT_NE(aboutItem, nullptr);
    aboutItem->trigger();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ScannerWindowTest, AltTTakesAPictureTheViewerOpensAt330By276AndSaveWritesTheJpeg) {
    CPictavoDlg dlg;
    showActive(dlg);
    const std::string chosen = env.dir().file("first shot");
    saves.answerNext(QString::fromStdString(chosen));
    QSize viewerSize;
    bool decoded = false;
    whenOpen<CPictureViewer>([&](CPictureViewer& viewer) {
        viewerSize = viewer.size();
        decoded = !viewer.picture().IsNull();
        viewer.saveButton()->click();
        viewer.okButton()->click();
    });

    QTest::keyClick(&dlg, Qt::Key_T, Qt::AltModifier);
    EXPECT_EQ(dlg.statusLine()->text(), "Aim and trigger...");  // snapshot mode by default
    ASSERT_TRUE(triggerWhenWaiting());
    ASSERT_TRUE(eventually([&] { return viewerSize.isValid(); }));
    EXPECT_EQ(viewerSize, QSize(330, 276));
    EXPECT_TRUE(decoded);
    ASSERT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
    EXPECT_EQ(testenv::readFile(chosen + ".jpg"), std::string(jpeg.begin(), jpeg.end()));
    EXPECT_EQ(dlg.statusLine()->text(), "");
    EXPECT_TRUE(dlg.progressBar()->isHidden());
    EXPECT_TRUE(boxes.all().empty());
    ASSERT_EQ(scanner.requests().size(), 1u);
    EXPECT_EQ(scanner.requests()[0].text, "\x1b((\r@VELT,   0,   0,1279,1023,1,8,0, 65,1,1,0,0#");
}

TEST_F(ScannerWindowTest, TransferShowsProgressAndCancelAndCancelEndsItWithoutAMessage) {
    scanner.setBlockSize(64);  // some 20 blocks, about two seconds
    CPictavoDlg dlg;
    pick(dlg, "Set &Snapshot mode", "Off");
    bool viewerOpened = false;
    whenOpen<CPictureViewer>(
        [&](CPictureViewer& v) {
            viewerOpened = true;
            v.reject();
        },
        60s);
    dlg.OnTakePicture();
    EXPECT_EQ(dlg.statusLine()->text(), "Initializing...");  // stays until the transfer starts
    ASSERT_TRUE(eventually(
        [&] { return dlg.progressBar()->isVisible() || !dlg.progressBar()->isHidden(); }));
    EXPECT_EQ(dlg.statusLine()->text(), "Transferring...");
    EXPECT_FALSE(dlg.cancelButton()->isHidden());
    dlg.cancelButton()->click();
    ASSERT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
    ASSERT_TRUE(eventually([&] { return dlg.progressBar()->isHidden(); }));
    EXPECT_TRUE(dlg.cancelButton()->isHidden());
    EXPECT_EQ(dlg.statusLine()->text(), "");
    EXPECT_EQ(dlg.Engine()->LastCaptureOutcome(), CaptureOutcome::Aborted);
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_FALSE(viewerOpened);
}

TEST_F(ScannerWindowTest, QualityOf62IsSavedButThePictureRequestKeepsTheEnginesQuality) {
    CPictavoDlg dlg;
    pick(dlg, "Set &Snapshot mode", "Off");
    whenOpen<CQuality>([](CQuality& q) {
        EXPECT_EQ(q.qualityEdit()->text(), "  65");
        q.qualityEdit()->setText("62");
        q.accept();
    });
    item(topMenu(dlg.menuBar(), "&Settings"), "Set picture quality")->trigger();
    EXPECT_EQ(dlg.Settings().quality, 62);
    dlg.SaveSettings();
    EXPECT_NE(settingsText(dlg).find("quality=62"), std::string::npos);

    whenOpen<CPictureViewer>([](CPictureViewer& v) { v.accept(); });
    dlg.OnTakePicture();
    ASSERT_TRUE(eventually(
        [&] { return scanner.picturesCompleted() == 1 && !dlg.Engine()->IsCapturing(); }));
    ASSERT_EQ(scanner.requests().size(), 1u);
    EXPECT_EQ(scanner.requests()[0].quality, 65);
    EXPECT_FALSE(scanner.requests()[0].snapshot);
}

TEST_F(ScannerWindowTest, ClosingTheProgramWhileTheViewerIsOpenClosesItAndEndsCleanly) {
    auto dlg = std::make_unique<CPictavoDlg>();
    dlg->show();
    pick(*dlg, "Set &Snapshot mode", "Off");
    bool closedFromViewer = false;
    whenOpen<CPictureViewer>([&](CPictureViewer&) {
        dlg->close();  // as a session end would, with the viewer on screen
        closedFromViewer = true;
    });
    dlg->OnTakePicture();
    ASSERT_TRUE(eventually([&] { return closedFromViewer; }));
    EXPECT_EQ(dlg->Viewer(), nullptr);  // the viewer's loop has returned
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_NE(settingsText(*dlg).find("snapshot=0"), std::string::npos);  // exit saved the settings
    dlg.reset();  // joins the capture thread: it must not wait for the viewer any more
    EXPECT_EQ(scanner.picturesCompleted(), 1);
}

TEST_F(ScannerWindowTest, ClosingTheProgramWhileACaptureWaitsForTheTriggerResetsTheScanner) {
    CPictavoDlg dlg;
    dlg.show();
    dlg.OnTakePicture();
    ASSERT_TRUE(eventually([&] { return !scanner.requests().empty(); }));
    scanner.line().clearReceived();
    dlg.close();
    EXPECT_EQ(dlg.Engine(), nullptr);
    // The capture thread broke off (ETB) and the line was reset on the way out.
    ASSERT_TRUE(scanner.line().waitReceived(1 + 1 + kReset.size(), 2s));
    const auto received = scanner.line().received();
    const std::string heard(received.begin(), received.end());
    EXPECT_NE(heard.find('\x17'), std::string::npos);
    EXPECT_NE(heard.find(kReset), std::string::npos);
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(ScannerWindowTest,
       PickingThePortAgainDestroysTheEngineSoTheNextPictureChecksTheDeviceAgain) {
    CPictavoDlg dlg;
    pick(dlg, "Set &Snapshot mode", "Off");
    ASSERT_TRUE(dlg.PrepareForCommand());
    ASSERT_NE(dlg.Engine(), nullptr);
    dlg.portMenu()->actions()[0]->trigger();
    EXPECT_EQ(dlg.Engine(), nullptr);
    scanner.line().clearReceived();
    whenOpen<CPictureViewer>([](CPictureViewer& v) { v.accept(); });
    dlg.OnTakePicture();
    ASSERT_TRUE(eventually(
        [&] { return scanner.picturesCompleted() == 1 && !dlg.Engine()->IsCapturing(); }));
    auto heard = scanner.line().received();
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(heard[0], 0x17);  // FindDevice's two ETB again
    EXPECT_EQ(heard[1], 0x17);
}

TEST_F(ScannerWindowTest, ABrokenTransferShowsItsErrorBoxFromTheCaptureThreadOnTheWindowsThread) {
    sim::ScannerFaults faults;
    faults.missingBlock = 1;
    scanner.setFaults(faults);
    CPictavoDlg dlg;
    pick(dlg, "Set &Snapshot mode", "Off");
    bool viewerOpened = false;
    whenOpen<CPictureViewer>(
        [&](CPictureViewer& v) {
            viewerOpened = true;
            v.reject();
        },
        20s);
    dlg.OnTakePicture();
    ASSERT_TRUE(eventually([&] { return !boxes.all().empty(); }, 20s));
    ASSERT_EQ(boxes.texts(), std::vector<QString>{"ReceiveDataBlockError"});
    EXPECT_EQ(boxes.all()[0].caption, "Error");
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.all()[0].parent, &dlg);
    ASSERT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
    EXPECT_TRUE(eventually([&] { return dlg.progressBar()->isHidden(); }));
    EXPECT_EQ(dlg.Engine()->LastCaptureOutcome(), CaptureOutcome::BlockError);
    EXPECT_FALSE(viewerOpened);
}

TEST_F(ScannerWindowTest, TheTriggerWaitShowsCancelWhichEndsIt) {
    CPictavoDlg dlg;
    showActive(dlg);
    dlg.OnTakePicture();  // snapshot mode by default
    EXPECT_EQ(dlg.statusLine()->text(), "Aim and trigger...");
    EXPECT_FALSE(dlg.cancelButton()->isHidden());
    ASSERT_TRUE(
        eventually([&] { return scanner.command("status").find("waiting") != std::string::npos; }));
    dlg.cancelButton()->click();
    ASSERT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
    ASSERT_TRUE(eventually([&] { return dlg.cancelButton()->isHidden(); }));
    EXPECT_EQ(dlg.statusLine()->text(), "");
    EXPECT_EQ(dlg.Engine()->LastCaptureOutcome(), CaptureOutcome::Aborted);
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(ScannerWindowTest, AnIncompletePictureIsShownAfterAWarning) {
    scanner.setBlockSize(200);
    scanner.setFaults({.announcedBlocks = 3});
    CPictavoDlg dlg;
    pick(dlg, "Set &Snapshot mode", "Off");
    int boxesBeforeViewer = -1;
    whenOpen<CPictureViewer>(
        [&](CPictureViewer& v) {
            boxesBeforeViewer = static_cast<int>(boxes.all().size());
            v.reject();
        },
        60s);
    dlg.OnTakePicture();
    ASSERT_TRUE(eventually([&] { return boxesBeforeViewer >= 0; }, 30s));
    EXPECT_EQ(boxesBeforeViewer, 1);
    ASSERT_EQ(boxes.texts(),
              (std::vector<QString>{
                  "The picture is incomplete: its JPEG data has no end marker (FF D9)."}));
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Warning);
    EXPECT_EQ(testenv::readFile(dlg.TempFile()).size(), 400u);  // stored as it came
}
