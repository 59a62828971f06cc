// The image view, the port dialog, the about box and the document's Save.
#include <QClipboard>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include "download/ui/kolvane_doc.h"
#include "download/ui/small_dialogs.h"
#include "download/ui/z7_image_view.h"
#include "platform/folders.h"
#include "tests/download/download_ui_test_support.h"

using namespace kuitest;

TEST_F(KolvaneWindow, ImageViewShowsOkForALineFeedAfterTheFirstCharacter) {
    CZ7ImageView view;
    view.show();
    QPlainTextEdit* input = view.inputField();
    QLineEdit* result = view.resultField();
    EXPECT_EQ(view.findChild<QLabel*>("zzLabel")->text(), " ZZ ");
    EXPECT_TRUE(result->text().isEmpty());

    // A line feed as the very first character does not count, whatever follows.
    input->setFocus();
    QTest::keyClick(input, Qt::Key_Return);
    QTest::keyClicks(input, "abc");
    EXPECT_EQ(input->toPlainText(), "\nabc");
    EXPECT_EQ(result->text(), "");

    // Typed: a scanner's data and its Enter.
    input->clear();
    QTest::keyClicks(input, "4901234");
    EXPECT_EQ(result->text(), "");
    QTest::keyClick(input, Qt::Key_Return);
    EXPECT_EQ(result->text(), "OK");
    EXPECT_EQ(view.ResultText(), "OK");
    EXPECT_EQ(view.InputText(), "4901234\n");

    // "OK" stays while the input changes, even once the line feed is gone ...
    QTest::keyClick(input, Qt::Key_Backspace);
    QTest::keyClick(input, Qt::Key_Backspace);
    EXPECT_EQ(input->toPlainText(), "490123");
    EXPECT_EQ(result->text(), "OK");
    // ... until the user edits the result field.
    result->setFocus();
    result->selectAll();
    QTest::keyClicks(result, "x");
    EXPECT_EQ(result->text(), "x");
    EXPECT_EQ(view.ResultText(), "x");
    input->setFocus();
    QTest::keyClicks(input, "9");
    EXPECT_EQ(result->text(), "x");

    // Pasted text keeps its line feeds.
    input->clear();
    QGuiApplication::clipboard()->setText("\nab");
    input->paste();
    EXPECT_EQ(result->text(), "x");
    input->clear();
    QGuiApplication::clipboard()->setText("ab\ncd");
    input->paste();
    EXPECT_EQ(input->toPlainText(), "ab\ncd");
    EXPECT_EQ(result->text(), "OK");
}

TEST_F(KolvaneWindow, PortDialogTakesOneToOneHundredOnly) {
    CRsPortSetupDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "RS_PORT_SETUP");
    EXPECT_EQ(dlg.findChild<QLabel*>("portLabel")->text(), "RS_PORT_NO : ");
    EXPECT_EQ(dlg.portEdit()->text(), "5");
    const std::pair<const char*, const char*> refused[] = {
        {"0", "Please enter an integer between 1 and 100."},
        {"101", "Please enter an integer between 1 and 100."},
        {"4294967297", "Please enter an integer between 1 and 100."},
        {"", "Please enter a positive integer."},
        {"-3", "Please enter a positive integer."},
        {"7x", "Please enter a positive integer."},
    };
    for (const auto& [text, message] : refused) {
        const std::size_t before = boxes.all().size();
        dlg.portEdit()->setText(text);
        dlg.okButton()->click();
        ASSERT_EQ(boxes.all().size(), before + 1) << text;
        EXPECT_EQ(boxes.all().back().text, message) << text;
        EXPECT_TRUE(dlg.isVisible()) << text;
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(dlg.Port(), 5u);
    }
    for (const auto& [text, port] : {std::pair{"1", 1u}, std::pair{" 100 ", 100u}}) {
        CRsPortSetupDlg ok;
        ok.show();
        ok.portEdit()->setText(text);
        ok.okButton()->click();
        EXPECT_EQ(ok.result(), QDialog::Accepted);
        EXPECT_EQ(ok.Port(), port);
    }
    CRsPortSetupDlg cancelled;
    cancelled.show();
    cancelled.portEdit()->setText("42");
    cancelled.cancelButton()->click();
    EXPECT_EQ(cancelled.Port(), 5u);
}

TEST_F(KolvaneWindow, AboutBoxNamesTheProgramAndItsVersion) {
    start();
    whenOpen<kolvane::ui::CAboutDlg>([](kolvane::ui::CAboutDlg& about) {
        EXPECT_EQ(about.windowTitle(), "About Kolvane");
        QStringList texts;
        for (QLabel* l : about.findChildren<QLabel*>()) texts << l->text();
        EXPECT_TRUE(texts.contains("Kolvane Version 1.0")) << texts.join('|').toStdString();
        EXPECT_FALSE(about.findChild<QLabel*>("bitmapLabel")->pixmap().isNull());
        about.findChild<QPushButton*>("okButton")->click();
    });
    trigger("actionAbout");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(KolvaneWindow, SaveWritesTheLogAsTextUnderTheNameChosenAndKeepsTheTitle) {
    start();
    ASSERT_TRUE(waitReady());
    view().Log(QStringLiteral("Zeile mit \u00dcmlaut"));
    const std::string path = env.dir().file("session.log");
    files.answerNext(path);
    trigger("actionFileSave");
    ASSERT_EQ(files.all().size(), 1u);
    const auto& asked = files.all()[0];
    EXPECT_EQ(asked.mode, serial::ui::FileDialogRequest::Mode::Save);
    const QString proposed = QFileInfo(asked.proposedPath).fileName();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^kolvane-\\d{8}-\\d{6}\\.log$"))
                    .match(proposed)
                    .hasMatch())
        << proposed.toStdString();
    EXPECT_EQ(QFileInfo(asked.proposedPath).absolutePath().toStdString(),
              platform::documentsFolder());
    std::string expected;
    for (const std::string& line : view().LogLines()) expected += line + "\n";
    EXPECT_EQ(testenv::readFile(path), expected);
    EXPECT_NE(expected.find("Zeile mit \xC3\x9Cmlaut\n"), std::string::npos);  // UTF-8
    EXPECT_EQ(frame->windowTitle(), "Untitled - Kolvane");
    // Each Save asks again; a cancelled one writes nothing.
    trigger("actionFileSave");
    EXPECT_EQ(files.all().size(), 2u);
    EXPECT_EQ(testenv::readFile(path), expected);
}

TEST_F(KolvaneWindow, AFailedLogSaveSaysWhyAndKeepsTheLogSavedBefore) {
    start();
    ASSERT_TRUE(waitReady());
    const std::string path = env.dir().file("session.log");
    testenv::writeFile(path, "the log of yesterday\n");
    platform::failDurableWritesAfter(5);  // the disk fills up
    files.answerNext(path);
    trigger("actionFileSave");
    platform::failDurableWritesAfter(-1);
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_EQ(boxes.all()[0].text,
              QString::fromStdString("Cannot write " + path + ": No space left on device"));
    EXPECT_EQ(testenv::readFile(path), "the log of yesterday\n");
}
