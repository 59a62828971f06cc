#include "serial/ui/terminal_view.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <algorithm>

#include "platform/folders.h"
#include "serial/rtf_writer.h"

namespace {

// One timer tick draws at most this much of the queue, so a backlog cannot freeze the window.
constexpr std::size_t kDrawBatchBytes = 64 * 1024;

// Lines longer than this are cut into paragraphs of about this length (marked as
// continuations, and joined again in copies and saved text): the editor lays out a whole
// paragraph on each change, so one endless line would make every append slower.
constexpr int kLongLine = 1024;
constexpr int kLongLineHard = kLongLine + 128;  // where no space came to break after
const int kContinuationProperty = QTextFormat::UserProperty + 1;

QTextCharFormat formatFor(serial::ColourRef colour) {
    QTextCharFormat format;
    if (colour == serial::kColourAutomatic)
        format.clearForeground();
    else
        format.setForeground(serial::ui::colourFromColourRef(colour));
    return format;
}

// Clipboard text as line bytes: code page 1252 ('?' where it has no byte), every line end as
// CR LF, as the platform's clipboard text has it.
std::string lineBytesOf(const QString& text) {
    std::string out;
    std::u32string chars = text.toStdU32String();
    for (std::size_t i = 0; i < chars.size(); ++i) {
        char32_t ch = chars[i];
        if (ch == U'\r' || ch == U'\n') {
            out += "\r\n";
            if (ch == U'\r' && i + 1 < chars.size() && chars[i + 1] == U'\n') ++i;
            continue;
        }
        int byte = serial::unicodeToAnsi(ch);
        out += static_cast<char>(byte < 0 ? '?' : byte);
    }
    return out;
}

bool isNavigationKey(int key) {
    switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return true;
        default:
            return false;
    }
}

bool isCtrlLetter(const QKeyEvent* e) {
    auto mods = e->modifiers();
    return (mods & Qt::ControlModifier) && !(mods & (Qt::AltModifier | Qt::MetaModifier)) &&
           e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z;
}

}  // namespace

namespace serial::ui {

QColor colourFromColourRef(ColourRef colour) {
    return QColor(colourRed(colour), colourGreen(colour), colourBlue(colour));
}

ColourRef colourRefFromColour(const QColor& colour) {
    return makeColourRef(static_cast<std::uint8_t>(colour.red()),
                         static_cast<std::uint8_t>(colour.green()),
                         static_cast<std::uint8_t>(colour.blue()));
}

}  // namespace serial::ui

CMyEdit::CMyEdit(QWidget* parent)
    : QPlainTextEdit(parent), trimThreshold_(serial::kTrimThresholdDisplayOnly) {
    Setup();
}

CMyEdit::CMyEdit(serial::ui::TerminalLine* line, QWidget* parent)
    : QPlainTextEdit(parent), line_(line), trimThreshold_(serial::kTrimThresholdInput) {
    Setup();
}

CMyEdit::~CMyEdit() = default;

void CMyEdit::Setup() {
    // The text is a log: no undo history, nothing dropped or pasted into it directly, no input
    // method between the keys and the line.
    setUndoRedoEnabled(false);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    if (!inputEnabled()) {
        setReadOnly(true);
        setTabChangesFocus(true);
    }
}

int CMyEdit::displayFormat() const {
    return line_ ? line_->displayFormat() : ownFormat_;
}

std::size_t CMyEdit::TextLength() const {
    // Counts each line break as one character, and the document's closing one not at all.
    return static_cast<std::size_t>(document()->characterCount() - 1);
}

void CMyEdit::AppendBytes(const std::uint8_t* data, std::size_t length, serial::ColourRef colour) {
    if (QThread::currentThread() == thread() && !held_) {
        DrawPending();  // what other threads handed over earlier goes first
        Draw({Piece{data, length, colour}});
        return;
    }
    Queue(data, length, colour);
}

void CMyEdit::Queue(const std::uint8_t* data, std::size_t length, serial::ColourRef colour) {
    // Room is reserved before the push, so the bound holds with several appending threads.
    std::size_t before = pendingBytes_.load();
    do {
        if (before + length > kPendingLimit) {
            dropped_ += length;
            lostUnmarked_ += length;
            drawWakeup_.wake();  // the marker shows even when nothing follows
            return;
        }
    } while (!pendingBytes_.compare_exchange_weak(before, before + length));
    // The marker goes before the bytes that came after the loss.
    if (std::uint64_t lost = lostUnmarked_.exchange(0))
        pending_.push(Pending{{}, serial::kColourAutomatic, lost});
    pending_.push(Pending{std::vector<std::uint8_t>(data, data + length), colour});
    drawWakeup_.wake();
}

void CMyEdit::SetHeld(bool held) {
    if (held_ == held) return;
    held_ = held;
    if (!held) drawWakeup_.wake();
}

QString CMyEdit::LostMarker(std::uint64_t bytes) {
    return QStringLiteral("[%1 bytes lost]").arg(bytes);
}

std::size_t CMyEdit::PendingBytes() const {
    return pendingBytes_;
}

void CMyEdit::DrawPending() {
    DrawQueued(SIZE_MAX);
}

void CMyEdit::DrawBatch() {
    DrawQueued(kDrawBatchBytes);
}

void CMyEdit::DrawQueued(std::size_t byteBudget) {
    if (held_) return;
    std::vector<Pending> batch;
    std::size_t taken = 0;
    while (taken < byteBudget) {
        auto next = pending_.tryPop();
        if (!next) break;
        taken += next->bytes.size();
        batch.push_back(std::move(*next));
    }
    // A loss after the last queued bytes: nothing else would mark it.
    if (pending_.empty())
        if (std::uint64_t lost = lostUnmarked_.exchange(0))
            batch.push_back(Pending{{}, serial::kColourAutomatic, lost});
    if (batch.empty()) return;
    pendingBytes_ -= taken;
    std::vector<Piece> pieces;
    pieces.reserve(batch.size());
    for (const Pending& p : batch)
        pieces.push_back(Piece{p.bytes.data(), p.bytes.size(), p.colour, p.lost});
    Draw(pieces);
    if (!pending_.empty()) drawWakeup_.wake();
}

void CMyEdit::Draw(const std::vector<Piece>& pieces) {
    const int format = displayFormat();
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    int lineLength = end.block().length() - 1;
    bool afterSpace = lineLength > 0 && document()->characterAt(end.position() - 1) == ' ';

    // Each piece is one append of its own (its own 8 KB cap, its own trimming decision); the
    // whole batch is one edit, so the layout is redone once, and the old text goes in one
    // removal.
    std::size_t length = TextLength();
    std::size_t trim = 0;
    QString run;
    serial::ColourRef runColour = serial::kColourAutomatic;
    auto flush = [&] {
        if (!run.isEmpty()) end.insertText(run, formatFor(runColour));
        run.clear();
    };
    auto breakLine = [&](bool continuation) {
        flush();
        QTextBlockFormat block;
        if (continuation) block.setProperty(kContinuationProperty, true);
        end.insertBlock(block, formatFor(runColour));
        lineLength = 0;
    };
    end.beginEditBlock();
    for (const Piece& piece : pieces) {
        std::string rendered =
            piece.lost > 0
                ? (lineLength > 0 ? "\r" : "") + LostMarker(piece.lost).toStdString() + "\r"
                : serial::renderBytes(piece.data, piece.length, format);
        std::size_t cut = serial::charactersToTrim(length, rendered.size(), trimThreshold_);
        length = length + rendered.size() - cut;
        trim += cut;
        if (rendered.empty()) continue;
        if (piece.colour != runColour) {
            flush();
            runColour = piece.colour;
        }
        for (char c : rendered) {
            auto byte = static_cast<std::uint8_t>(c);
            if (byte == '\r') {
                breakLine(false);
                afterSpace = false;
                continue;
            }
            if (lineLength >= kLongLineHard || (lineLength >= kLongLine && afterSpace))
                breakLine(true);
            run += QChar(char16_t(serial::ansiToUnicode(byte)));
            ++lineLength;
            afterSpace = byte == ' ';
        }
    }
    flush();
    end.endEditBlock();

    if (trim > 0) {
        QTextCursor front(document());
        front.setPosition(static_cast<int>(std::min(trim, TextLength())), QTextCursor::KeepAnchor);
        front.removeSelectedText();
    }
    moveCursor(QTextCursor::End);
}

QString CMyEdit::PlainText(int from, int to) const {
    QTextDocument* doc = document();
    to = std::min(to, doc->characterCount() - 1);
    QString text;
    for (QTextBlock block = doc->findBlock(from); block.isValid() && block.position() <= to;
         block = block.next()) {
        if (block.position() > from && !block.blockFormat().boolProperty(kContinuationProperty))
            text += '\n';
        int start = std::max(from, block.position()) - block.position();
        int stop = std::min(to, block.position() + block.length() - 1) - block.position();
        if (stop > start) text += block.text().mid(start, stop - start);
    }
    return text;
}

QMimeData* CMyEdit::createMimeDataFromSelection() const {
    QTextCursor selection = textCursor();
    auto* data = new QMimeData;
    data->setText(PlainText(selection.selectionStart(), selection.selectionEnd()));
    return data;
}

void CMyEdit::ClearScreen() {
    QTextCursor all(document());
    all.select(QTextCursor::Document);
    all.removeSelectedText();
}

void CMyEdit::PasteToLine() {
    if (!line_) return;
    std::string bytes = lineBytesOf(QGuiApplication::clipboard()->text());
    if (bytes.empty()) return;
    AppendBytes(bytes, serial::kColourRed);
    line_->writeToLine(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

void CMyEdit::TypedCharacter(std::uint8_t byte) {
    if (!line_) return;
    lineBuffer_.add(byte);
    if (line_->textTransmissionActive()) return;
    line_->writeToLine(&byte, 1);
    if (line_->localEcho()) AppendBytes(&byte, 1, serial::kColourRed);
}

void CMyEdit::RepeatLine() {
    // The display-only terminal has no line to repeat to.
    if (!line_ || !lineBuffer_.complete()) return;
    std::string bytes = lineBuffer_.text() + '\r';
    AppendBytes(bytes, serial::kColourRed);
    line_->writeToLine(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool CMyEdit::IsTerminalKey(const QKeyEvent* e) const {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
        case Qt::Key_F1:
        case Qt::Key_F3:
            return true;
        default:
            break;
    }
    if (isCtrlLetter(e)) return true;
    return inputEnabled() && (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut));
}

bool CMyEdit::event(QEvent* e) {
    // The terminal's keys come here rather than to the window's shortcuts.
    if (e->type() == QEvent::ShortcutOverride && IsTerminalKey(static_cast<QKeyEvent*>(e))) {
        e->accept();
        return true;
    }
    return QPlainTextEdit::event(e);
}

void CMyEdit::keyPressEvent(QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    e->accept();
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            // The dialog's default button is not pressed: Enter is a character for the line.
            lineBuffer_.markComplete();
            TypedCharacter(ctrl ? 0x0A : 0x0D);
            return;
        case Qt::Key_Escape:
            TypedCharacter(0x1B);
            return;
        case Qt::Key_Control:
            return;
        case Qt::Key_F1:
            ClearScreen();
            return;
        case Qt::Key_F3:
            RepeatLine();
            return;
        default:
            break;
    }
    if (isCtrlLetter(e)) {
        TypedCharacter(static_cast<std::uint8_t>(e->key() - Qt::Key_A + 1));
        return;
    }

    lineBuffer_.startNewLineIfComplete();
    if (e->matches(QKeySequence::Copy)) {  // Ctrl+Insert; Ctrl+C is a character
        copy();
        return;
    }
    if (inputEnabled() && e->matches(QKeySequence::Cut)) {
        cut();
        return;
    }
    if (inputEnabled() && e->matches(QKeySequence::Paste)) {
        PasteToLine();
        return;
    }
    if (isNavigationKey(e->key())) {
        QPlainTextEdit::keyPressEvent(e);
        return;
    }
    bool typed = false;
    for (QChar c : e->text()) {
        char16_t u = c.unicode();
        if ((u < 0x20 && u != '\b' && u != '\t') || u == 0x7F) continue;
        int byte = serial::unicodeToAnsi(u);
        if (byte < 0) continue;
        TypedCharacter(static_cast<std::uint8_t>(byte));
        typed = true;
    }
    if (!typed) e->ignore();
}

QMenu* CMyEdit::CreateContextMenu(QWidget* parent) {
    if (!inputEnabled()) return nullptr;
    auto* menu = new QMenu(parent);
    QAction* cutAction = menu->addAction("Cut", this, &CMyEdit::cut);
    QAction* copyAction = menu->addAction("Copy", this, &CMyEdit::copy);
    menu->addAction("Paste", this, &CMyEdit::PasteToLine);
    bool selected = textCursor().hasSelection();
    cutAction->setEnabled(selected);
    copyAction->setEnabled(selected);
    return menu;
}

void CMyEdit::contextMenuEvent(QContextMenuEvent* e) {
    e->accept();
    QMenu* menu = CreateContextMenu(this);
    if (!menu) return;
    menu->exec(e->globalPos());
    delete menu;
}

bool CMyEdit::canInsertFromMimeData(const QMimeData*) const {
    return false;
}

void CMyEdit::insertFromMimeData(const QMimeData*) {}

std::string CMyEdit::ToRtf() {
    DrawPending();
    std::vector<serial::TextRun> runs;
    auto add = [&runs](serial::ColourRef colour, std::u32string text) {
        if (!runs.empty() && runs.back().colour == colour)
            runs.back().text += text;
        else
            runs.push_back(serial::TextRun{colour, std::move(text)});
    };
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin() &&
            !block.blockFormat().boolProperty(kContinuationProperty))
            add(runs.empty() ? serial::kColourAutomatic : runs.back().colour, U"\n");
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextFragment fragment = it.fragment();
            if (!fragment.isValid()) continue;
            QBrush brush = fragment.charFormat().foreground();
            serial::ColourRef colour = brush.style() == Qt::NoBrush
                                           ? serial::kColourAutomatic
                                           : serial::ui::colourRefFromColour(brush.color());
            add(colour, fragment.text().toStdU32String());
        }
    }
    QFont f = font();
    double points = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    return serial::writeRtf(runs, f.family().toLatin1().toStdString(), points);
}

bool CMyEdit::SaveRtf(const std::string& path, platform::SystemError* err) {
    return platform::replaceFileContents(path, ToRtf(), err);
}
