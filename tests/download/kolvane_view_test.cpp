// The log view: File Open and the download it posts, the log it shows (the same lines as
// kolvane download), and where new lines go.
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QTextCursor>
#include <atomic>
#include <sstream>

#include "download/cli/download_command.h"
#include "tests/download/download_ui_test_support.h"

using namespace kuitest;

namespace {

Lines splitLines(const std::string& text) {
    Lines l;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) l.push_back(line);
    return l;
}

}  // namespace

TEST_F(KolvaneWindow, FileOpenDownloadsAndLogsWhatTheCommandLinePrints) {
    sim::Z7Device::Options little;
    little.bigEndian = false;
    auto z7 = device(1, little);
    start();
    trigger("actionBin8kOld");
    trigger("actionMotHex");
    trigger("actionLittleEndian");
    ASSERT_TRUE(waitReady());  // File Open is refused while a command runs
    Bytes image(3 * 16 + 5);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    const std::string path = writeImage("Boot.bin", image);
    files.answerNext(path);
    trigger("actionFileOpen");
    ASSERT_EQ(files.all().size(), 1u);
    const auto& request = files.all()[0];
    EXPECT_EQ(request.mode, serial::ui::FileDialogRequest::Mode::Open);
    EXPECT_EQ(request.filter, "Bin files (*.bin);;Ttf files (*.ttf);;All files (*)");
    EXPECT_EQ(request.defaultSuffix, "bin");
    EXPECT_EQ(view().ImagePath().toStdString(), path);
    ASSERT_TRUE(waitReady());
    const Lines window = log();
    EXPECT_EQ(window, (Lines{"RS line is secured.", "Change UseZwFlg : 0", "Change RsBkSize : 8192",
                             "Change RsBkSize : 16", "Change EndianType : 1", "Open File : " + path,
                             "An input file was opened.", "RS line is secured."} +
                       transferEnd()));
    EXPECT_EQ(z7->blocks().size(), 4u);
    EXPECT_EQ(z7->badFrames(), 0);
    EXPECT_EQ(frame->messagePane()->text(), "Ready");
    frame.reset();  // lets go of COM1

    std::ostringstream out, err;
    std::atomic<bool> interrupted{false};
    kolvane::cli::DownloadOptions options{
        path,
        std::nullopt,
        {kolvane::ConfigChoice::Bin8kOld, kolvane::ConfigChoice::MotHex,
         kolvane::ConfigChoice::LittleEndian}};
    serial::cli::Console console(out, err, false, &interrupted);
    EXPECT_EQ(kolvane::cli::runDownload(options, console), 0) << err.str();
    EXPECT_EQ(splitLines(out.str()), window);
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(KolvaneWindow, CancelledFileOpenDoesNothing) {
    start();
    trigger("actionFileOpen");
    EXPECT_EQ(files.all().size(), 1u);
    EXPECT_TRUE(view().IsReady());
    EXPECT_EQ(log(), (Lines{"RS line can't be used.", kolvanetest::notInPortMap(1),
                            "Command practice fails."}));
}

TEST_F(KolvaneWindow, AFileThatCannotBeOpenedFailsTheCommand) {
    auto z7 = device(1);
    start();
    files.answerNext(env.dir().file("missing.bin"));
    trigger("actionFileOpen");
    ASSERT_TRUE(waitReady());
    EXPECT_EQ(log(), (Lines{"RS line is secured.", "Open File : " + env.dir().file("missing.bin"),
                            "An input file didn't open it.",
                            kolvanetest::noSuchFile(env.dir().file("missing.bin")),
                            "Command practice fails."}));
}

TEST_F(KolvaneWindow, ALineAppendedAfterAClickIntoTheLogGoesToTheEnd) {
    start();
    QPlainTextEdit* edit = view().logEdit();
    for (int i = 0; i < 60; ++i) view().Log(QStringLiteral("line %1").arg(i));
    // The user clicks at the top of the log and selects a word there.
    edit->verticalScrollBar()->setValue(0);
    QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
    QTextCursor selection = edit->textCursor();
    selection.setPosition(0);
    selection.setPosition(2, QTextCursor::KeepAnchor);
    edit->setTextCursor(selection);
    ASSERT_EQ(edit->textCursor().selectedText(), "RS");

    trigger("actionDelXsw");
    ASSERT_TRUE(waitReady());
    const Lines lines = log();
    EXPECT_EQ(lines.front(), "RS line can't be used.");
    EXPECT_EQ(lines.back(), "Change Save Address : 0x001FC000");
    EXPECT_EQ(lines.size(), 3u + 60 + 1);
    // The user's selection stays; the new line is scrolled into view.
    EXPECT_EQ(edit->textCursor().selectedText(), "RS");
    EXPECT_EQ(edit->verticalScrollBar()->value(), edit->verticalScrollBar()->maximum());
    EXPECT_GT(edit->verticalScrollBar()->maximum(), 0);
    // Typing changes nothing: the log is read-only.
    QTest::keyClicks(edit, "typed");
    EXPECT_EQ(log(), lines);
}
