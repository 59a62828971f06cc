// The main window: start-up, the Config items with their log lines and check marks, the busy
// rule, the port dialog, the lock keys, the views and bars, and closing during a download.
#include <unistd.h>
#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>
#include <cstdlib>

#include "download/engine/download_line.h"
#include "download/engine/download_thread.h"
#include "download/ui/small_dialogs.h"
#include "download/ui/z7_image_view.h"
#include "platform/cancel_flag.h"
#include "tests/download/download_ui_test_support.h"
#include "tests/support/x_server.h"

using namespace kuitest;
using Indicator = CMainFrame::Indicator;

namespace {

const QStringList kStartChecks = {"COM1", "Bin8k_New", "K41", "Big Endian", "RS232C"};

// The lines the log gained since it held `before` lines.
Lines since(const Lines& all, std::size_t before) {
    return Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
}

}  // namespace

TEST_F(KolvaneWindow, StartUpOpensCom1AndShowsTheStartSettings) {
    auto z7 = device(1);
    start();
    EXPECT_EQ(log(), Lines{"RS line is secured."});
    EXPECT_EQ(frame->windowTitle(), "Untitled - Kolvane");
    EXPECT_EQ(checkedConfigItems(*frame), kStartChecks);
    EXPECT_EQ(frame->messagePane()->text(), "Ready");
    EXPECT_EQ(frame->ActiveView(), frame->LogView());
    EXPECT_TRUE(view().logEdit()->isReadOnly());
    // Edit has no handlers; every Config item is there and active.
    for (const char* edit : {"actionUndo", "actionCut", "actionCopy", "actionPaste"})
        EXPECT_FALSE(frame->Action(edit)->isEnabled()) << edit;
    QStringList config;
    for (QAction* top : frame->menuBar()->actions()) {
        if (top->text() != "&Config") continue;
        for (QAction* a : top->menu()->actions()) {
            if (a->isSeparator()) continue;
            config << a->text();
            EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        }
    }
    EXPECT_EQ(config,
              (QStringList{"COM1",      "COM2",       "COM3",          "COM_X",      "Bin8k_New",
                           "Bin8k_Old", "Mot_Hex",    "Bootstrap",     "K41",        "Z7B",
                           "Z7D",       "Big Endian", "Little Endian", "RS232C",     "USB COM",
                           "DEL XSW",   "End Load",   "NumLock",       "ScrollLock", "CapsLock"}));
    QStringList tools;
    for (QAction* a : frame->toolBar()->actions())
        if (!a->isSeparator()) tools << a->objectName();
    EXPECT_EQ(tools, (QStringList{"actionFileOpen", "actionFileSave", "actionCancelDownload",
                                  "actionCut", "actionCopy", "actionPaste", "actionAbout"}));
    EXPECT_EQ(frame->Action("actionFileOpen")->shortcut(), QKeySequence("Ctrl+O"));
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(KolvaneWindow, WithoutCom1TheStartUpCommandFails) {
    start();
    EXPECT_EQ(log(), (Lines{"RS line can't be used.", kolvanetest::notInPortMap(1),
                            "Command practice fails."}));
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(KolvaneWindow, EveryConfigItemWritesItsLinesAndMovesItsCheckMark) {
    start();
    struct Case {
        const char* action;
        Lines lines;
        QStringList checked;
    };
    const Case cases[] = {
        {"actionMotHex",
         {"Change RsBkSize : 16"},
         {"COM1", "Mot_Hex", "K41", "Big Endian", "RS232C"}},
        {"actionBin8kNew", {"Change UseZwFlg : 1", "Change RsBkSize : 8192"}, kStartChecks},
        {"actionBin8kOld",
         {"Change UseZwFlg : 0", "Change RsBkSize : 8192"},
         {"COM1", "Bin8k_Old", "K41", "Big Endian", "RS232C"}},
        {"actionBootstrap",
         {"Change RsBkSize : 2"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
        {"actionZ7B",
         {"Change DeviceType : 1"},
         {"COM1", "Bootstrap", "Z7B", "Big Endian", "RS232C"}},
        {"actionZ7D",
         {"Change DeviceType : 2"},
         {"COM1", "Bootstrap", "Z7D", "Big Endian", "RS232C"}},
        {"actionK41",
         {"Change DeviceType : 0"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
        {"actionLittleEndian",
         {"Change EndianType : 1"},
         {"COM1", "Bootstrap", "K41", "Little Endian", "RS232C"}},
        {"actionBigEndian",
         {"Change EndianType : 0"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
        {"actionUsbCom",
         {"Change IF Type : 1"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "USB COM"}},
        {"actionRs232c",
         {"Change IF Type : 0"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
        // The address as eight capital hex digits; no check mark.
        {"actionDelXsw",
         {"Change Save Address : 0x001FC000"},
         {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
        {"actionEndLoad", {}, {"COM1", "Bootstrap", "K41", "Big Endian", "RS232C"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        const std::size_t before = log().size();
        trigger(c.action);
        // The view writes its lines at once, before the worker has done anything.
        EXPECT_EQ(since(log(), before), c.lines);
        EXPECT_EQ(checkedConfigItems(*frame), c.checked);
        ASSERT_TRUE(waitReady());
        EXPECT_EQ(since(log(), before), c.lines);  // every command completed with 1
    }
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(KolvaneWindow, APortItemReopensTheLineAndAMissingPortFails) {
    auto z7 = device(2);
    start();
    trigger("actionCom2");
    ASSERT_TRUE(waitReady());
    trigger("actionCom3");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(log(), (Lines{"RS line can't be used.", kolvanetest::notInPortMap(1),
                            "Command practice fails.", "Change RsPort : 2", "RS line is secured.",
                            "Change RsPort : 3", "RS line can't be used.",
                            kolvanetest::notInPortMap(3), "Command practice fails."}));
    EXPECT_EQ(checkedConfigItems(*frame),
              (QStringList{"COM3", "Bin8k_New", "K41", "Big Endian", "RS232C"}));
}

TEST_F(KolvaneWindow, ComXAsksForThePortAndTakesFiveAfterCancel) {
    auto z7 = device(2);
    start();
    whenOpen<CRsPortSetupDlg>([](CRsPortSetupDlg& dlg) {
        EXPECT_EQ(dlg.windowTitle(), "RS_PORT_SETUP");
        EXPECT_EQ(dlg.portEdit()->text(), "5");
        dlg.portEdit()->setText("2");
        dlg.cancelButton()->click();
    });
    trigger("actionComX");
    EXPECT_EQ(checkedConfigItems(*frame),
              (QStringList{"COM_X", "Bin8k_New", "K41", "Big Endian", "RS232C"}));
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(since(log(), 3), (Lines{"Change RsPort : 5", "RS line can't be used.",
                                      kolvanetest::notInPortMap(5), "Command practice fails."}));

    whenOpen<CRsPortSetupDlg>([](CRsPortSetupDlg& dlg) {
        dlg.portEdit()->setText("2");
        dlg.okButton()->click();
    });
    trigger("actionComX");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(since(log(), 7), (Lines{"Change RsPort : 2", "RS line is secured."}));
    // Back to a numbered item: the marks move again.
    trigger("actionCom1");
    EXPECT_EQ(checkedConfigItems(*frame), kStartChecks);
    ASSERT_TRUE(waitReady());
}

TEST_F(KolvaneWindow, DuringADownloadPortAndOpenAreRefusedWhileOtherItemsQueue) {
    auto z7 = device(1);
    start();
    trigger("actionBin8kOld");
    trigger("actionMotHex");
    ASSERT_TRUE(waitReady());
    const std::string boot = writeImage("Boot.bin", Bytes(40, 0x5A));
    files.answerNext(boot);
    trigger("actionFileOpen");
    ASSERT_FALSE(view().IsReady());
    EXPECT_TRUE(view().IsDownloading());
    EXPECT_TRUE(frame->messagePane()->text().startsWith("Downloading Boot.bin"))
        << frame->messagePane()->text().toStdString();

    // Nothing has been drained from the worker yet, so the tool is certainly still busy.
    trigger("actionCom2");
    trigger("actionFileOpen");
    EXPECT_EQ(boxes.texts(), (QStringList{CKolvaneView::kBusyMessage, CKolvaneView::kBusyMessage}));
    EXPECT_EQ(files.all().size(), 1u);  // the second File Open asked for nothing
    trigger("actionZ7D");
    EXPECT_EQ(checkedConfigItems(*frame),
              (QStringList{"COM1", "Mot_Hex", "Z7D", "Big Endian", "RS232C"}));
    const Lines head = {"RS line is secured.",  "Change UseZwFlg : 0", "Change RsBkSize : 8192",
                        "Change RsBkSize : 16", "Open File : " + boot, "Change DeviceType : 2"};
    EXPECT_EQ(log(), head);

    ASSERT_TRUE(waitReady());
    EXPECT_EQ(log(),
              head + Lines({"An input file was opened.", "RS line is secured."}) + transferEnd());
    EXPECT_EQ(z7->blocks().size(), 3u);

    // The device type took effect after the download: a text image now starts at the Z7D's
    // block, (0x101C0000 - 0x80000000) / 16, which the frame's 16-bit block field cannot
    // carry: it is refused before anything goes to the device.
    testenv::writeFile(env.dir().file("image.ttf"), "1,2,3\n");
    files.answerNext(env.dir().file("image.ttf"));
    z7->line().clearReceived();
    trigger("actionFileOpen");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(z7->blocks().size(), 3u);
    EXPECT_TRUE(z7->line().received().empty());
    const Lines all = log();
    EXPECT_EQ(Lines(all.end() - 2, all.end()),
              (Lines{"The image cannot be written: it starts at block 151109632 (flash address "
                     "0x101C0000), beyond "
                     "the transfer's blocks (0 to 65535)",
                     "Command practice fails."}));
    EXPECT_EQ(boxes.all().size(), 2u);
}

TEST_F(KolvaneWindow, ClosingDuringADownloadEndsTheWorkerAndFreesThePort) {
    auto z7 = device(1);
    z7->line().setPacing(true);  // frames take their wire time: about 0.7 s each
    start();
    trigger("actionBin8kOld");
    ASSERT_TRUE(waitReady());
    files.answerNext(writeImage("app.bin", Bytes(6 * 8192, 0x11)));
    trigger("actionFileOpen");
    // In the middle of the block transfer.
    ASSERT_TRUE(eventually(
        [&] {
            auto l = log();
            return std::find(l.begin(), l.end(), "9:Transfer success") != l.end();
        },
        20s));
    // Exit asks first: No keeps the download going, Yes ends it.
    boxes.answerNext(QMessageBox::No);
    frame->close();
    ASSERT_EQ(
        boxes.texts(),
        QStringList{
            "A download is running. The device's flash may be left incomplete. Exit anyway?"});
    EXPECT_TRUE(view().Worker()->IsRunning());
    EXPECT_TRUE(frame->isVisible());
    boxes.answerNext(QMessageBox::Yes);
    frame->close();
    EXPECT_FALSE(view().Worker()->IsRunning());
    EXPECT_LT(z7->blocks().size(), 6u);
    // The line is closed: the port opens again for someone else.
    platform::CancelFlag cancel;
    kolvane::DownloadLine line(cancel);
    EXPECT_TRUE(line.open(1, 9600));
    frame.reset();
    EXPECT_EQ(boxes.all().size(), 2u);
}

TEST_F(KolvaneWindow, CancelDownloadEndsAWaitOnASilentDeviceAndTheNextCommandRuns) {
    auto z7 = device(1);
    start();
    trigger("actionBin8kOld");
    ASSERT_TRUE(waitReady());
    EXPECT_FALSE(frame->Action("actionCancelDownload")->isEnabled());
    EXPECT_EQ(frame->portPane()->text(), "COM1");
    ASSERT_EQ(z7->command("silent on"), "ok");
    files.answerNext(writeImage("app.bin", Bytes(3 * 8192, 0x33)));
    trigger("actionFileOpen");
    EXPECT_TRUE(frame->Action("actionCancelDownload")->isEnabled());
    // The first frame goes out and no answer comes: the transfer would wait and resend.
    ASSERT_TRUE(eventually([&] { return z7->line().received().size() >= 8192u; }, 20s));
    EXPECT_TRUE(frame->progressBar()->isVisible());
    // Esc is the menu item's key.
    EXPECT_EQ(frame->Action("actionCancelDownload")->shortcut(), QKeySequence(Qt::Key_Escape));
    trigger("actionCancelDownload");
    ASSERT_TRUE(waitReady());
    const Lines all = log();
    EXPECT_EQ(Lines(all.end() - 2, all.end()),
              (Lines{"Download cancelled at block 8: the device's flash may be incomplete.",
                     "Command practice fails."}));
    EXPECT_FALSE(frame->Action("actionCancelDownload")->isEnabled());
    EXPECT_FALSE(frame->progressBar()->isVisible());
    // The worker takes the next command as usual.
    ASSERT_EQ(z7->command("silent off"), "ok");
    trigger("actionCom2");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(frame->portPane()->text(), "COM2");
    EXPECT_EQ(log().back(), "Command practice fails.");  // there is no COM2
    trigger("actionCom1");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(log().back(), "RS line is secured.");
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(KolvaneWindow, ClosingDuringTheModeSwitchCommandsEndsAtOnce) {
    auto z7 = device(1);
    start();
    files.answerNext(writeImage("app.bin", Bytes(100, 0x22)));
    trigger("actionFileOpen");
    ASSERT_TRUE(eventually([&] { return log().size() >= 3; }));  // "An input file was opened."
    frame.reset();
    EXPECT_LE(z7->modeSwitches().size(), 4u);
    EXPECT_TRUE(z7->blocks().empty());
}

TEST_F(KolvaneWindow, ACommandOutsideTheTableShowsItsNoticeInABox) {
    start();
    view().Worker()->PostThreadCommand(99);
    ASSERT_TRUE(eventually([&] { return !boxes.all().empty(); }));
    EXPECT_EQ(boxes.all()[0].text, "DIO line Error");
    EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Information);
}

TEST_F(KolvaneWindow, LockKeyItemsPressTheirKeysAndThePanesShowTheLocks) {
    start();
    EXPECT_EQ(frame->indicatorPane(Indicator::Kana)->text(), "");
    EXPECT_EQ(frame->indicatorPane(Indicator::Num)->text(), "");
    for (const char* item :
         {"actionNumLock", "actionScrollLock", "actionCapsLock", "actionNumLock"})
        trigger(item);
    EXPECT_EQ(keys->journal,
              (std::vector<std::string>{"NumLock", "ScrollLock", "CapsLock", "NumLock"}));
    EXPECT_EQ(frame->indicatorPane(Indicator::Num)->text(), "");
    EXPECT_EQ(frame->indicatorPane(Indicator::Scrl)->text(), "SCRL");
    EXPECT_EQ(frame->indicatorPane(Indicator::Caps)->text(), "CAPS");
    EXPECT_EQ(frame->indicatorPane(Indicator::Kana)->text(), "");
    // The panes follow a lock changed elsewhere, too.
    keys->states[static_cast<int>(platform::LockKey::NumLock)] = true;
    EXPECT_TRUE(eventually([&] { return frame->indicatorPane(Indicator::Num)->text() == "NUM"; }));
    // Nothing of this is logged or posted.
    EXPECT_EQ(log(), (Lines{"RS line can't be used.", kolvanetest::notInPortMap(1),
                            "Command practice fails."}));
}

TEST_F(KolvaneWindow, LockKeysWithoutADisplaySayTheyCannotBeReached) {
    ::unsetenv("DISPLAY");
    frame = std::make_unique<CMainFrame>();
    frame->show();
    ASSERT_TRUE(waitReady());
    trigger("actionNumLock");
    EXPECT_EQ(frame->statusBar()->currentMessage(),
              "The keyboard's lock keys cannot be reached here.");
    EXPECT_EQ(frame->indicatorPane(Indicator::Num)->text(), "");
}

TEST_F(KolvaneWindow, NumLockTogglesTheIndicatorOfARealXServer) {
    testenv::PrivateXServer x;
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start (scripts/setup.sh installs it)";
    ::setenv("DISPLAY", x.display().c_str(), 1);
    // A freshly started server may still be setting up its keyboard for a moment.
    for (int i = 0; i < 50; ++i) {
        auto probe = platform::systemLockKeys();
        if (probe->available() && probe->state(platform::LockKey::NumLock)) break;
        ::usleep(100000);
    }
    frame = std::make_unique<CMainFrame>();  // the system's keyboard: the X server's
    frame->show();
    ASSERT_TRUE(waitReady());
    QLabel* num = frame->indicatorPane(Indicator::Num);
    const QString before = num->text();
    trigger("actionNumLock");
    EXPECT_EQ(num->text(), before.isEmpty() ? "NUM" : "");
    trigger("actionNumLock");
    EXPECT_EQ(num->text(), before);
    EXPECT_TRUE(frame->statusBar()->currentMessage().isEmpty());
    frame.reset();  // its keyboard connection ends before the server does
}

TEST_F(KolvaneWindow, ViewItemsSwitchTheViewAndShowOrHideTheBars) {
    start();
    trigger("actionImageView");
    EXPECT_EQ(frame->ActiveView(), frame->ImageView());
    EXPECT_TRUE(frame->ImageView()->isVisible());
    EXPECT_FALSE(frame->LogView()->isVisible());
    EXPECT_TRUE(frame->ImageView()->inputField()->hasFocus() || !frame->isActiveWindow());
    // The log still takes its lines while hidden.
    trigger("actionDelXsw");
    trigger("actionLogView");
    EXPECT_EQ(frame->ActiveView(), frame->LogView());
    EXPECT_TRUE(frame->LogView()->isVisible());
    EXPECT_EQ(log().back(), "Change Save Address : 0x001FC000");

    trigger("actionToolBar");
    EXPECT_FALSE(frame->toolBar()->isVisible());
    EXPECT_FALSE(frame->Action("actionToolBar")->isChecked());
    trigger("actionToolBar");
    EXPECT_TRUE(frame->toolBar()->isVisible());
    trigger("actionStatusBar");
    EXPECT_FALSE(frame->statusBar()->isVisible());
    trigger("actionStatusBar");
    EXPECT_TRUE(frame->statusBar()->isVisible());
    ASSERT_TRUE(waitReady());
}
