#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>
#include <atomic>
#include <thread>

#include "serial/serial_com.h"
#include "serial/ui/terminal_view.h"
#include "sim/echo_device.h"
#include "tests/serial/rtf_reader.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

using namespace std::chrono_literals;

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The owner's side of the input variant, recorded.
struct RecordingLine : serial::ui::TerminalLine {
    std::string written;
    bool transmitting = false;
    bool echo = false;
    int format = serial::kFormatNormal;

    void writeToLine(const std::uint8_t* data, std::size_t length) override {
        written.append(reinterpret_cast<const char*>(data), length);
    }
    bool textTransmissionActive() const override { return transmitting; }
    bool localEcho() const override { return echo; }
    int displayFormat() const override { return format; }
};

struct Fragment {
    QString text;
    QColor colour;
};

std::vector<Fragment> fragments(const CMyEdit& edit) {
    std::vector<Fragment> out;
    for (QTextBlock b = edit.document()->begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            out.push_back({it.fragment().text(), it.fragment().charFormat().foreground().color()});
    return out;
}

// Fills the terminal to exactly `length` characters: 2500 'a', then lines of 'b'.
void fillTo(CMyEdit& edit, std::size_t length) {
    QString text(2500, 'a');
    while (static_cast<std::size_t>(text.size()) < length)
        text += static_cast<std::size_t>(text.size()) % 60 == 59 ? QChar(QChar::ParagraphSeparator)
                                                                 : QChar('b');
    QTextCursor(edit.document()).insertText(text);
}

struct Terminal : ::testing::Test {
    static void SetUpTestSuite() { qttest::ensureApplication(); }
    RecordingLine line;
    CMyEdit input{&line};
    CMyEdit display;

    void append(CMyEdit& edit, const std::string& bytes,
                serial::ColourRef colour = serial::kColourBlue) {
        edit.AppendBytes(bytes, colour);
    }
};

const std::string kLine = "A\r\n\x07";

}  // namespace

TEST_F(Terminal, ShowsALineInEachDisplayFormat) {
    display.SetDisplayFormat(serial::kFormatNormal);
    append(display, kLine);
    EXPECT_EQ(display.toPlainText(), "A\n");
    display.ClearScreen();
    display.SetDisplayFormat(serial::kFormatAscii);
    append(display, kLine);
    EXPECT_EQ(display.toPlainText(), "A<CR>\n<LF><BEL>");
    display.ClearScreen();
    display.SetDisplayFormat(serial::kFormatHex);
    append(display, kLine);
    EXPECT_EQ(display.toPlainText(), "41 0D\n0A 07 ");
    EXPECT_EQ(display.TextLength(), 12u);

    // The input variant takes its format from its owner, at the time of each append.
    line.format = serial::kFormatHex;
    append(input, "A");
    line.format = serial::kFormatAscii;
    append(input, "\x1b");
    EXPECT_EQ(input.toPlainText(), "41 <ESC>");
}

TEST_F(Terminal, BytesAbove0x7FAreShownAsTheirCodePageCharacters) {
    for (int format : {serial::kFormatNormal, serial::kFormatAscii}) {
        display.ClearScreen();
        display.SetDisplayFormat(format);
        append(display, "\x80\xE4\xFF");
        EXPECT_EQ(display.toPlainText(), QString::fromUtf8("\u20AC\u00E4\u00FF")) << format;
    }
}

TEST_F(Terminal, EachAppendHasItsOwnColour) {
    append(display, "sent", serial::kColourRed);
    append(display, "reply", serial::kColourDarkBlue);
    append(display, "data", serial::kColourBlue);
    std::vector<Fragment> f = fragments(display);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].text, "sent");
    EXPECT_EQ(f[0].colour, QColor(255, 0, 0));
    EXPECT_EQ(f[1].colour, QColor(0, 0, 127));
    EXPECT_EQ(f[2].colour, QColor(0, 0, 255));
    EXPECT_EQ(serial::ui::colourRefFromColour(QColor(0, 0, 127)), serial::kColourDarkBlue);
}

TEST_F(Terminal, TrimsTheFirst2500CharactersOnceAboveItsThreshold) {
    for (CMyEdit* edit : {&input, &display}) {
        const std::size_t threshold = edit->trimThreshold();
        fillTo(*edit, threshold);
        append(*edit, "Z");
        EXPECT_EQ(edit->TextLength(), threshold + 1) << "at the threshold nothing goes";
        append(*edit, "Y");
        EXPECT_EQ(edit->TextLength(), threshold + 2 - 2500);
        QTextCursor first(edit->document());
        first.movePosition(QTextCursor::NextCharacter, QTextCursor::KeepAnchor);
        EXPECT_EQ(first.selectedText(), "b");
        EXPECT_TRUE(edit->toPlainText().endsWith("ZY"));
        edit->ClearScreen();
    }
    EXPECT_EQ(input.trimThreshold(), 1500000u);
    EXPECT_EQ(display.trimThreshold(), 150000u);
}

TEST_F(Terminal, ALargeAppendAboveTheThresholdDoesNotLetTheTextGrow) {
    fillTo(display, display.trimThreshold() + 1);
    for (int i = 0; i < 5; ++i) append(display, std::string(8000, 'x'));
    EXPECT_LE(display.TextLength(), display.trimThreshold() + 8000);
    EXPECT_TRUE(display.PlainText().endsWith(QString(8000, 'x')));
}

TEST_F(Terminal, AnEndlessLineIsCutForDisplayOnlyButCopiedAndSavedWhole) {
    // A device that ends its lines with LF alone gives one endless line in Normal format.
    display.setFont(QFont("Courier New", 10));
    for (int i = 0; i < 50; ++i) append(display, std::string(99, 'x') + "\n");
    QString whole(50 * 99, 'x');
    EXPECT_GT(display.document()->blockCount(), 3);
    for (QTextBlock b = display.document()->begin(); b.isValid(); b = b.next())
        EXPECT_LE(b.length(), 1200);
    EXPECT_EQ(display.PlainText(), whole);
    display.selectAll();
    QTest::keyClick(&display, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), whole);
    rtftest::Document doc = rtftest::read(display.ToRtf());
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(QString::fromStdU32String(doc.text()), whole);

    // A real line break stays one; HEX lines are cut after a whole byte.
    display.ClearScreen();
    display.SetDisplayFormat(serial::kFormatHex);
    append(display, std::string(1000, 'A') + "\r" + std::string(1000, 'B'));
    QString expected = QString("41 ").repeated(1000) + "0D\n" + QString("42 ").repeated(1000);
    EXPECT_EQ(display.PlainText(), expected);
    for (QTextBlock b = display.document()->begin(); b.isValid(); b = b.next())
        EXPECT_TRUE(b.text().isEmpty() || b.text().endsWith(' ') || b.text().endsWith("0D"))
            << b.text().size();
    // Parts of it, across a cut and across a line break.
    int cut = display.document()->begin().length() - 1;
    EXPECT_EQ(display.PlainText(cut - 3, cut + 5), "41 41 4");
    int cr = display.document()->find("0D").selectionStart();
    EXPECT_EQ(display.PlainText(cr - 3, cr + 6), "41 0D\n42 ");
}

TEST_F(Terminal, F3RepeatsTheLastLineAfterEnter) {
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "") << "nothing to repeat before the first Enter";
    QTest::keyClicks(&input, "AB");
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_EQ(line.written, "AB\r");
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "AB\rAB\r");
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "AB\rAB\rAB\r");

    // Holding Ctrl keeps the line; any other key starts a new one.
    line.written.clear();
    QTest::keyPress(&input, Qt::Key_Control);
    QTest::keyRelease(&input, Qt::Key_Control);
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "AB\r");
    QTest::keyClick(&input, Qt::Key_Shift);
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "AB\r");

    line.written.clear();
    QTest::keyClicks(&input, "C");
    QTest::keyClick(&input, Qt::Key_Return);
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "C\rC\r");
}

TEST_F(Terminal, F3AfterEnterOnAnEmptyLineSendsOnlyCR) {
    QTest::keyClick(&input, Qt::Key_Return);
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "\r\r");
}

TEST_F(Terminal, F3RepeatsOnlyTheFirstHundredCharacters) {
    std::string typed;
    for (int i = 0; i < 105; ++i) typed += char('a' + i % 26);
    QTest::keyClicks(&input, QString::fromStdString(typed));
    QTest::keyClick(&input, Qt::Key_Return);
    line.written.clear();
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, typed.substr(0, 100) + "\r");
}

TEST_F(Terminal, KeysBecomeTheirCharacters) {
    QTest::keyClick(&input, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&input, Qt::Key_Escape);
    QTest::keyClick(&input, Qt::Key_Backspace);
    QTest::keyClick(&input, Qt::Key_Tab);
    QTest::keyClick(&input, Qt::Key_Delete);  // no character
    QTest::keyClick(&input, Qt::Key_F2);      // no character
    for (QString c :
         {QString::fromUtf8("\u00E4"), QString::fromUtf8("\u20AC"), QString::fromUtf8("\u4E2D")}) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier,
                      c);  // the last has no byte
        QApplication::sendEvent(&input, &key);
    }
    EXPECT_EQ(line.written, "\n\x1b\b\t\xE4\x80");
    line.written.clear();
    for (int key = Qt::Key_A; key <= Qt::Key_Z; ++key)
        QTest::keyClick(&input, static_cast<Qt::Key>(key), Qt::ControlModifier);
    std::string controls;
    for (char c = 1; c <= 26; ++c) controls += c;
    EXPECT_EQ(line.written, controls);
    // Ctrl+Enter also ends the line: F3 repeats it with CR.
    line.written.clear();
    QTest::keyClick(&input, Qt::Key_Return);
    QTest::keyClicks(&input, "x");
    QTest::keyClick(&input, Qt::Key_Return, Qt::ControlModifier);
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "\rx\nx\r");
}

TEST_F(Terminal, CtrlCIsACharacterAndCopyIsCtrlInsert) {
    QGuiApplication::clipboard()->setText("before");
    for (CMyEdit* edit : {&input, &display}) {
        append(*edit, "some text");
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Insert, Qt::ControlModifier);
        EXPECT_EQ(QGuiApplication::clipboard()->text(), "some text");
        EXPECT_EQ(edit->toPlainText(), "some text");
        QGuiApplication::clipboard()->setText("before");
    }
    EXPECT_EQ(line.written, "\x03") << "the input variant sends it, the display-only one drops it";
}

TEST_F(Terminal, LocalEchoShowsTypedCharactersInRed) {
    QTest::keyClicks(&input, "a");
    EXPECT_EQ(input.toPlainText(), "");
    line.echo = true;
    line.format = serial::kFormatAscii;
    QTest::keyClicks(&input, "b");
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_EQ(input.toPlainText(), "b<CR>\n");
    // The repeat key shows the line whatever the echo setting.
    line.echo = false;
    input.ClearScreen();
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(input.toPlainText(), "ab<CR>\n");
    for (const Fragment& f : fragments(input)) EXPECT_EQ(f.colour, QColor(255, 0, 0));
}

TEST_F(Terminal, DuringAFileTransmissionTypedCharactersAreKeptButNotSentWhilePasteIs) {
    line.transmitting = true;
    line.echo = true;
    QTest::keyClicks(&input, "ab");
    QTest::keyClick(&input, Qt::Key_Return);
    EXPECT_EQ(line.written, "");
    EXPECT_EQ(input.toPlainText(), "");
    QGuiApplication::clipboard()->setText("pasted");
    input.PasteToLine();
    EXPECT_EQ(line.written, "pasted");
    line.transmitting = false;
    line.written.clear();
    QTest::keyClick(&input, Qt::Key_F3);
    EXPECT_EQ(line.written, "ab\r");
}

TEST_F(Terminal, PasteShowsTheTextInRedAndSendsItInOneWriteWithCrLfLineEnds) {
    QGuiApplication::clipboard()->setText(QString::fromUtf8("one\ntwo\r\nthree\u00E4\u4E2D"));
    input.PasteToLine();
    EXPECT_EQ(line.written, "one\r\ntwo\r\nthree\xE4?");
    EXPECT_EQ(input.toPlainText(), QString::fromUtf8("one\ntwo\nthree\u00E4?"));
    for (const Fragment& f : fragments(input)) EXPECT_EQ(f.colour, QColor(255, 0, 0));

    // Shift+Insert in the terminal is the same paste; the editor's own paste, drops and the
    // selection paste never put text into the log.
    line.written.clear();
    QTest::keyClick(&input, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(line.written, "one\r\ntwo\r\nthree\xE4?");
    input.ClearScreen();
    input.paste();
    EXPECT_EQ(input.toPlainText(), "");

    display.PasteToLine();
    display.paste();
    QTest::keyClick(&display, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(display.toPlainText(), "");
}

TEST_F(Terminal, TheContextMenuOffersCutCopyPasteOnlyWithInput) {
    EXPECT_EQ(display.CreateContextMenu(nullptr), nullptr);
    std::unique_ptr<QMenu> menu(input.CreateContextMenu(nullptr));
    ASSERT_NE(menu, nullptr);
    QStringList texts;
    for (QAction* a : menu->actions()) texts << a->text();
    EXPECT_EQ(texts, (QStringList{"Cut", "Copy", "Paste"}));
    QGuiApplication::clipboard()->setText("x");
    menu->actions()[2]->trigger();
    EXPECT_EQ(line.written, "x");

    append(input, "cut me");
    input.selectAll();
    menu.reset(input.CreateContextMenu(nullptr));
    menu->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "xcut me");  // the pasted x was shown too
    EXPECT_EQ(input.toPlainText(), "");
}

TEST_F(Terminal, DisplayOnlyIgnoresTypingAndF1ClearsBoth) {
    append(display, "log");
    QTest::keyClicks(&display, "AB");
    QTest::keyClick(&display, Qt::Key_Return);
    QTest::keyClick(&display, Qt::Key_F3);
    QTest::keyClick(&display, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(display.toPlainText(), "log");
    QTest::keyClick(&display, Qt::Key_F1);
    EXPECT_EQ(display.toPlainText(), "");
    append(input, "log");
    QTest::keyClick(&input, Qt::Key_F1);
    EXPECT_EQ(input.toPlainText(), "");
}

TEST_F(Terminal, EnterAndEscNeverCloseTheOwningDialog) {
    for (bool withInput : {true, false}) {
        QDialog dialog;
        auto* layout = new QVBoxLayout(&dialog);
        auto* edit = withInput ? new CMyEdit(&line, &dialog) : new CMyEdit(&dialog);
        auto* field = new QLineEdit(&dialog);
        auto* ok = new QPushButton("OK", &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
        layout->addWidget(edit);
        layout->addWidget(field);
        layout->addWidget(ok);
        int finished = 0;
        QObject::connect(&dialog, &QDialog::finished, [&finished] { ++finished; });
        dialog.show();
        edit->setFocus();

        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter);
        QTest::keyClick(edit, Qt::Key_Escape);
        EXPECT_EQ(finished, 0);
        EXPECT_TRUE(dialog.isVisible());

        // The same key anywhere else in the dialog does close it.
        QTest::keyClick(field, Qt::Key_Escape);
        EXPECT_EQ(finished, 1);
    }
    EXPECT_EQ(line.written, "\r\r\x1b");
}

TEST_F(Terminal, AppendsFromAWorkerArriveInOrderWithoutBlockingIt) {
    std::string expected;
    for (int i = 0; i < 2000; ++i) expected += std::to_string(i) + "\n";
    // The window's thread does not run while the worker appends: the worker must not wait for it.
    std::thread worker([this] {
        for (int i = 0; i < 2000; ++i)
            display.AppendBytes(std::to_string(i) + "\r", serial::kColourBlue);
    });
    worker.join();
    EXPECT_EQ(display.toPlainText(), "") << "drawn later, on the window's thread";
    // An append on the window's thread comes after what the worker handed over.
    append(display, "last", serial::kColourRed);
    EXPECT_EQ(display.toPlainText().toStdString(), expected + "last");
    EXPECT_EQ(display.DroppedBytes(), 0u);
}

TEST_F(Terminal, WorkerAppendsAreDrawnByTheTimerInBatches) {
    std::atomic<bool> done = false;
    std::thread worker([this, &done] {
        for (int i = 0; i < 300; ++i) {
            input.AppendBytes(std::string(1, char('a' + i % 26)),
                              i % 2 ? serial::kColourBlue : serial::kColourRed);
            if (i % 50 == 0) std::this_thread::sleep_for(2ms);
        }
        done = true;
    });
    ASSERT_TRUE(qttest::eventually([&] { return done && input.TextLength() == 300; }));
    worker.join();
    QString expected;
    for (int i = 0; i < 300; ++i) expected += QChar('a' + i % 26);
    EXPECT_EQ(input.toPlainText(), expected);
    std::vector<Fragment> f = fragments(input);
    ASSERT_EQ(f.size(), 300u);
    EXPECT_EQ(f[0].colour, QColor(255, 0, 0));
    EXPECT_EQ(f[299].colour, QColor(0, 0, 255));
}

TEST_F(Terminal, AStalledWindowDropsWhatExceedsTheQueueAndCountsIt) {
    const std::size_t piece = 4096;
    const std::size_t fit = CMyEdit::kPendingLimit / piece;
    std::thread worker([&] {
        for (std::size_t i = 0; i < fit + 4; ++i) {
            char tag[8];
            std::snprintf(tag, sizeof tag, "%05zu", i);
            std::string bytes = tag + std::string(piece - 6, 'x') + "\r";
            display.AppendBytes(bytes, serial::kColourBlue);
        }
    });
    worker.join();
    EXPECT_EQ(display.DroppedBytes(), 4 * piece);
    display.DrawPending();
    QStringList lines = display.PlainText().split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    // What was dropped shows as a marker line after the last piece kept, never silently.
    EXPECT_EQ(lines.back(), CMyEdit::LostMarker(4 * piece));
    char last[8];
    std::snprintf(last, sizeof last, "%05zu", fit - 1);
    EXPECT_TRUE(lines[lines.size() - 2].startsWith(last))
        << lines[lines.size() - 2].left(8).toStdString();
    EXPECT_LE(display.TextLength(), display.trimThreshold() + piece);
}

TEST_F(Terminal, SavesItsTextWithColoursAsRtf) {
    testenv::ScratchDir dir;
    display.setFont(QFont("Courier New", 10));
    display.SetDisplayFormat(serial::kFormatAscii);
    append(display, "\x1bZ1\r", serial::kColourRed);
    append(display, "V{1}\\2 \xE4\r", serial::kColourDarkBlue);
    std::thread([this] { display.AppendBytes(std::string("late"), serial::kColourBlue); }).join();
    ASSERT_TRUE(display.SaveRtf(dir.file("KIVText.rtf")));

    rtftest::Document doc = rtftest::read(testenv::readFile(dir.file("KIVText.rtf")));
    ASSERT_TRUE(doc.ok) << doc.error;
    EXPECT_EQ(doc.font, "Courier New");
    EXPECT_EQ(doc.halfPoints, 20);
    EXPECT_EQ(doc.colours,
              (std::vector<serial::ColourRef>{serial::kColourAutomatic, serial::kColourRed,
                                              serial::kColourDarkBlue, serial::kColourBlue}));
    ASSERT_EQ(doc.runs.size(), 3u);
    EXPECT_EQ(doc.runs[0].text, U"<ESC>Z1<CR>\n");
    EXPECT_EQ(doc.runs[1].text, U"V{1}\\2 \u00E4<CR>\n");
    EXPECT_EQ(doc.runs[1].colour, serial::kColourDarkBlue);
    EXPECT_EQ(doc.runs[2].text, U"late");
    EXPECT_EQ(QString::fromStdU32String(doc.text()), display.toPlainText());

    platform::SystemError err;
    EXPECT_FALSE(display.SaveRtf(dir.file("missing/KIVText.rtf"), &err));
    EXPECT_EQ(err.osCode, ENOENT) << err.text;
}

// The terminal on a real line: typed keys reach the device, and what the device sends back is
// drawn from the receive thread.
TEST_F(Terminal, TypedLinesReachTheDeviceAndItsAnswerIsShown) {
    testenv::IsolatedPorts env;
    sim::EchoDevice device;
    ASSERT_TRUE(device.start(env.mapFile(), 5, "Echo"));

    struct SerialLine : serial::ui::TerminalLine {
        CSerialCom com;
        void writeToLine(const std::uint8_t* data, std::size_t length) override {
            com.Write(data, static_cast<int>(length));
        }
        bool textTransmissionActive() const override { return false; }
        bool localEcho() const override { return false; }
        int displayFormat() const override { return serial::kFormatNormal; }
    } serial;
    ASSERT_TRUE(serial.com.Open(5));
    CMyEdit terminal(&serial);
    std::jthread receiver([&](std::stop_token stop) {
        std::uint8_t buf[100];
        while (!stop.stop_requested()) {
            unsigned n = serial.com.BytesWaiting();
            if (n == 0) {
                std::this_thread::sleep_for(5ms);
                continue;
            }
            int got = serial.com.Read(buf, static_cast<int>(std::min<unsigned>(n, sizeof buf)));
            if (got > 0)
                terminal.AppendBytes(buf, static_cast<std::size_t>(got), serial::kColourBlue);
        }
    });

    QTest::keyClicks(&terminal, "AB");
    QTest::keyClick(&terminal, Qt::Key_Return);
    ASSERT_TRUE(qttest::eventually([&] { return terminal.toPlainText() == "AB\n"; }));
    QTest::keyClick(&terminal, Qt::Key_F3);
    ASSERT_TRUE(qttest::eventually([&] { return terminal.toPlainText() == "AB\nAB\nAB\n"; }))
        << terminal.toPlainText().toStdString();
    sim::Bytes sent = device.line().received();
    EXPECT_EQ(std::string(sent.begin(), sent.end()), "AB\rAB\r");
    std::vector<Fragment> f = fragments(terminal);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].colour, QColor(0, 0, 255));
    EXPECT_EQ(f[1].colour, QColor(255, 0, 0));
    EXPECT_EQ(f[2].colour, QColor(0, 0, 255));
    receiver.request_stop();
    receiver.join();
}
