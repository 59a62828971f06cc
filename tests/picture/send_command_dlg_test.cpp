#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBlock>
#include <cstdlib>

#include "picture/ui/pictavo_dlg.h"
#include "picture/ui/send_command_dlg.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "platform/folders.h"
#include "serial/ui/terminal_view.h"
#include "tests/picture/picture_test_support.h"
#include "tests/picture/picture_ui_test_support.h"

using uitest::eventually;
using uitest::whenOpen;

namespace {

struct Piece {
    QString text;
    QColor colour;
    bool operator==(const Piece&) const = default;
};

void PrintTo(const Piece& p, std::ostream* os) {
    *os << '"' << p.text.toStdString() << "\" " << p.colour.name().toStdString();
}

// The terminal's text in pieces of one colour, line breaks left out.
std::vector<Piece> pieces(CMyEdit& edit) {
    edit.DrawPending();
    std::vector<Piece> out;
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            QColor c = it.fragment().charFormat().foreground().color();
            if (!out.empty() && out.back().colour == c)
                out.back().text += it.fragment().text();
            else
                out.push_back({it.fragment().text(), c});
        }
    return out;
}

QStringList listed(CSendCommandDlg& w) {
    QStringList names;
    for (int i = 0; i < w.commandList()->count(); ++i) names << w.commandList()->itemText(i);
    return names;
}

QAction* menuItem(QMenuBar* bar, const QString& menu, const QString& text) {
    for (QAction* m : bar->actions())
        if (m->menu() && m->text() == menu)
            for (QAction* a : m->menu()->actions())
                if (a->text() == text) return a;
    return nullptr;
}

std::string asText(const std::vector<std::uint8_t>& b) {
    return std::string(b.begin(), b.end());
}

const QColor kRed(255, 0, 0), kDarkBlue(0, 0, 127);
const QStringList kUserCommands{"Get SW Version", "Rack Analyze", "Rack Calibrate", "Setup Camera",
                                "Toggle Laser"};
const QStringList kAllCommands{"Default KTR",    "Get SW Version", "Rack Analyze",
                               "Rack Calibrate", "Save Config",    "Setup Camera",
                               "Toggle Laser",   "Toggle debug",   "Trigger"};

struct SendWindow : uitest::ScannerWindowTest {
    std::string documents = env.dir().file("Documents");
    void SetUp() override {
        ScannerWindowTest::SetUp();
        platform::createDirectory(documents);
        ::setenv("XDG_DOCUMENTS_DIR", documents.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_DOCUMENTS_DIR"); }
};

}  // namespace

TEST_F(SendWindow, OpensWithTheUserCommandsInNameOrderAndItsControlsAsExpected) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    w.show();
    EXPECT_EQ(w.windowTitle(), "Send Command");
    EXPECT_EQ(listed(w), kUserCommands);
    EXPECT_TRUE(w.cameraButton()->isHidden());
    EXPECT_TRUE(w.progressBar()->isHidden());
    EXPECT_EQ(w.statusText()->text(), "");
    EXPECT_EQ(w.statusText()->font().pointSize(), 10);
    EXPECT_EQ(w.terminal()->displayFormat(), serial::kFormatAscii);
    EXPECT_FALSE(w.terminal()->inputEnabled());
    EXPECT_EQ(w.terminal()->font().pointSize(), 10);
    EXPECT_EQ(w.terminal()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    // The column takes 15 % of the width (or what its controls need), the terminal the rest.
    for (int width : {900, 1400}) {
        w.resize(width, 500);
        EXPECT_GE(w.ColumnWidth(), width * 15 / 100);
        EXPECT_EQ(w.terminal()->geometry().left(), w.ColumnWidth());
        EXPECT_EQ(w.terminal()->geometry().right(), width - 1);
        EXPECT_EQ(w.terminal()->geometry().bottom(), 499);
    }
    EXPECT_EQ(w.ColumnWidth(), 1400 * 15 / 100);
}

TEST_F(SendWindow, ACommandShowsRedItsReplyDarkBlueAndControlCharactersByName) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    w.commandList()->setCurrentText("Get SW Version");
    w.sendButton()->click();
    EXPECT_EQ(pieces(*w.terminal()),
              (std::vector<Piece>{{"<ESC>Z1<CR>", kRed},
                                  {"Veltrix 2D Imager SIM V1.10<CR>", kDarkBlue}}));
    EXPECT_EQ(asText(scanner.line().received()),
              "\x17\x17\x1bZ1\r");  // device check, then the command
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(SendWindow, DebugCommandsAreListedWhileSwitchedOnAndSaveConfigSendsItsFourBytes) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    QAction* debug = menuItem(w.menuBar(), "Tools", "&Debug Commands");
    ASSERT_NE(debug, nullptr);

    whenOpen<CDebugCommandDlg>([](CDebugCommandDlg& d) {
        EXPECT_FALSE(d.enableBox()->isChecked());
        d.enableBox()->setChecked(true);
        d.accept();
    });
    debug->trigger();
    EXPECT_EQ(listed(w), kAllCommands);
    EXPECT_EQ(dlg.Settings().debugCommands, 1);

    whenOpen<CDebugCommandDlg>([](CDebugCommandDlg& d) {
        d.enableBox()->setChecked(false);
        d.reject();  // Cancel changes nothing
    });
    debug->trigger();
    EXPECT_EQ(listed(w), kAllCommands);

    scanner.setReply("Z2", std::nullopt);
    w.commandList()->setCurrentText("Save Config");
    w.sendButton()->click();
    EXPECT_EQ(asText(scanner.line().received()), "\x17\x17\x1bZ2\r");
    // The scanner does not answer: no blue text.
    EXPECT_EQ(pieces(*w.terminal()), (std::vector<Piece>{{"<ESC>Z2<CR>", kRed}}));

    whenOpen<CDebugCommandDlg>([](CDebugCommandDlg& d) {
        d.enableBox()->setChecked(false);
        d.accept();
    });
    debug->trigger();
    EXPECT_EQ(listed(w), kUserCommands);
    EXPECT_EQ(dlg.Settings().debugCommands, 0);
}

TEST_F(SendWindow, ACameraSetupOfAnotherLengthIsSentWhole) {
    CPictavoDlg dlg;
    dlg.Settings().cameraSetup = "[OOUQ1Q0Q0Q2Q1XY";  // 16 characters
    CSendCommandDlg w(dlg);
    ASSERT_EQ(w.Commands().find("Setup Camera")->bytes.size(), 18u);
    w.SendNamedCommand("Setup Camera");
    EXPECT_EQ(asText(scanner.line().received()), "\x17\x17\x1b[OOUQ1Q0Q0Q2Q1XY\r");
}

TEST_F(SendWindow, CameraSettingsSendTheChangedSetupAndKeepItInTheSettings) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    whenOpen<CCameraSettingsDlg>([](CCameraSettingsDlg& d) {
        d.autoFocusEdit()->setText("010");
        d.shutterEdit()->setText("3");
        d.gainEdit()->setText("0");
        d.accept();
    });
    menuItem(w.menuBar(), "Tools", "Camera Settings")->trigger();
    EXPECT_EQ(dlg.Settings().cameraSetup, "[OOUQ0Q1Q0Q3Q0");
    EXPECT_EQ(asText(scanner.line().received()), "\x17\x17\x1b[OOUQ0Q1Q0Q3Q0\r");

    scanner.line().clearReceived();
    whenOpen<CCameraSettingsDlg>([](CCameraSettingsDlg& d) { d.reject(); });
    menuItem(w.menuBar(), "Tools", "Camera Settings")->trigger();
    EXPECT_TRUE(scanner.line().received().empty());
    EXPECT_EQ(dlg.Settings().cameraSetup, "[OOUQ0Q1Q0Q3Q0");
}

TEST_F(SendWindow, ACommandWhoseDeviceCheckFailsIsShownRedWithoutAnAnswer) {
    scanner.vanish();
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    w.calibrateButton()->click();
    EXPECT_EQ(pieces(*w.terminal()), (std::vector<Piece>{{"<ESC>[OOV<CR>", kRed}}));
    EXPECT_EQ(boxes.texts(),
              (std::vector<QString>{
                  QString::fromStdString("No ports found.\n" + picturetest::lookedFor(1)),
                  "Initialization Failed."}));
}

TEST_F(SendWindow, ClearScreenAsksFirstAndCancelKeepsTheText) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    w.terminal()->AppendBytes(std::string("kept\r"), serial::kColourDarkBlue);
    QAction* clear = menuItem(w.menuBar(), "Tools", "Clear Screen");
    boxes.answerNext(QMessageBox::Cancel);
    clear->trigger();
    ASSERT_EQ(boxes.texts(), std::vector<QString>{"Erase all text?"});
    EXPECT_EQ(boxes.all()[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(w.terminal()->PlainText(), "kept<CR>\n");
    boxes.answerNext(QMessageBox::Ok);
    clear->trigger();
    EXPECT_EQ(w.terminal()->TextLength(), 0u);
}

TEST_F(SendWindow, SaveTextProposesKivTextInTheDocumentsThenRemembersTheChoice) {
    CPictavoDlg dlg;
    CSendCommandDlg w(dlg);
    w.terminal()->AppendBytes(std::string("\x1bZ1\r"), serial::kColourRed);
    QAction* save = menuItem(w.menuBar(), "&File", "&Save Text");
    const QString proposed = QString::fromStdString(documents + "/KIVText.rtf");
    saves.answerNext(proposed);
    save->trigger();
    ASSERT_EQ(saves.all().size(), 1u);
    EXPECT_EQ(saves.all()[0].proposedPath, proposed);
    EXPECT_EQ(saves.all()[0].filter, "Rich text files (*.rtf);;All files (*)");
    const std::string rtf = testenv::readFile(proposed.toStdString());
    EXPECT_EQ(rtf.rfind("{\\rtf", 0), 0u);
    EXPECT_NE(rtf.find("<ESC>Z1<CR>"), std::string::npos);

    const QString elsewhere = QString::fromStdString(env.dir().file("no such folder/log.rtf"));
    saves.answerNext(elsewhere);
    save->trigger();
    EXPECT_EQ(saves.all()[1].proposedPath, proposed);
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].text, "Cannot write " + elsewhere + ": No such file or directory");
    save->trigger();  // cancelled
    EXPECT_EQ(saves.all()[2].proposedPath, elsewhere);
}

TEST_F(SendWindow, APictureTakenFromTheWindowShowsItsProgressThere) {
    CPictavoDlg dlg;
    dlg.Settings().snapshot = 0;
    scanner.setBlockSize(128);
    bool sawProgress = false, sawViewer = false;
    whenOpen<CSendCommandDlg>([&](CSendCommandDlg& w) {
        EXPECT_EQ(dlg.SendCommandWindow(), &w);
        whenOpen<CPictureViewer>([&](CPictureViewer& v) {
            sawViewer = true;
            v.accept();
        });
        w.pictureButton()->click();
        sawProgress = eventually([&] { return !w.progressBar()->isHidden(); });
        EXPECT_EQ(w.statusText()->text(), "Transferring...");
        EXPECT_TRUE(eventually([&] { return sawViewer && w.progressBar()->isHidden(); }));
        EXPECT_EQ(w.statusText()->text(), "");
        w.reject();
    });
    dlg.OnSendCommand();
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(sawViewer);
    EXPECT_EQ(dlg.SendCommandWindow(), nullptr);
    EXPECT_TRUE(eventually([&] { return !dlg.Engine()->IsCapturing(); }));
}
