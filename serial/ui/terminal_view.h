// CMyEdit, the terminal of the serial tools: shows bytes from or to a serial line in colour in
// one of three display formats (terminal_format.h), keeps its text bounded, and, with input
// enabled, turns keys and pasted text into bytes for the line.
//
// Two variants of the one class:
// - input enabled (the RS232 monitor): built with a TerminalLine; typed keys are kept for the
//   repeat key, written to the line and optionally echoed in red; paste, cut, copy and a
//   context menu; the display format comes from the owner; text trimmed above 1,500,000
//   characters.
// - display only (the picture tool's command log): built without a line; typed keys go
//   nowhere, the display format is held here (SetDisplayFormat); trimmed above 150,000.
// In both, Enter and Esc never reach the owning dialog, F1 clears the screen, Ctrl+A..Ctrl+Z
// are control characters 0x01..0x1A (so Ctrl+C is 0x03; copy is Ctrl+Insert).
//
// Line bytes are shown as code page 1252 characters; CR is the line break. A line without CR
// is cut for display into paragraphs of about 1 KB (the editor lays out a whole paragraph per
// change); PlainText, copies and the saved RTF join them again.
//
// Threads: AppendBytes may be called from any thread. On the window's thread it draws at once;
// elsewhere it copies the bytes into a bounded queue and returns at once, and the window's
// thread draws the queue in batches from a short timer, in call order. When the queue holds
// kPendingLimit bytes (the window has not drawn for a long time, about 90 s of a 115200 baud
// line), further bytes are dropped and counted in DroppedBytes(), and a line "[N bytes lost]"
// takes their place in the text. While held (SetHeld), appends from the window's thread queue
// the same way and nothing is drawn until the hold ends. Everything else belongs to the
// window's thread. A thread that appends must stop before the terminal is destroyed.
#pragma once

#include <QPlainTextEdit>
#include <atomic>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "platform/system_error.h"
#include "serial/terminal_format.h"
#include "serial/terminal_text.h"
#include "serial/ui/queue_drain.h"

class QMenu;

namespace serial::ui {

// What the input-enabled terminal needs from the window that owns the line. Called on the
// window's thread only.
class TerminalLine {
public:
    virtual ~TerminalLine() = default;
    virtual void writeToLine(const std::uint8_t* data, std::size_t length) = 0;
    // While a text file is being transmitted typed characters are not sent (paste still is).
    virtual bool textTransmissionActive() const = 0;
    virtual bool localEcho() const = 0;
    virtual int displayFormat() const = 0;
};

QColor colourFromColourRef(ColourRef colour);
ColourRef colourRefFromColour(const QColor& colour);

}  // namespace serial::ui

class CMyEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr std::size_t kPendingLimit = 1 << 20;
    static constexpr int kDrawIntervalMs = 20;

    // Display only.
    explicit CMyEdit(QWidget* parent = nullptr);
    // Input enabled; line must outlive the terminal.
    explicit CMyEdit(serial::ui::TerminalLine* line, QWidget* parent = nullptr);
    ~CMyEdit() override;

    bool inputEnabled() const { return line_ != nullptr; }

    // Renders the bytes in the display format and appends them at the end in the colour
    // (0x00BBGGRR). Any thread.
    void AppendBytes(const std::uint8_t* data, std::size_t length, serial::ColourRef colour);
    void AppendBytes(const std::string& bytes, serial::ColourRef colour) {
        AppendBytes(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), colour);
    }
    // Draws what other threads have handed over and not yet been drawn.
    void DrawPending();
    std::uint64_t DroppedBytes() const { return dropped_.load(); }
    // Held: appended bytes are kept, in order, and drawn once the hold ends (a menu is open).
    void SetHeld(bool held);
    bool Held() const { return held_; }
    // The line that stands for bytes that were dropped.
    static QString LostMarker(std::uint64_t bytes);
    // Bytes handed over by other threads and not drawn yet.
    std::size_t PendingBytes() const;

    void ClearScreen();
    // Input variant: the clipboard's text is shown in red and written to the line in one
    // write, even during a text-file transmission and whatever the echo setting is. Line ends
    // go out as CR LF. Does nothing in the display-only variant.
    void PasteToLine();

    // The display-only variant's own format (the input variant asks its line).
    void SetDisplayFormat(int format) { ownFormat_ = format; }
    int displayFormat() const;

    // Characters in the terminal, each line break counted as one.
    std::size_t TextLength() const;
    // The text between two document positions as the line delivered it: line breaks as '\n',
    // without the breaks that only cut very long lines for display.
    QString PlainText(int from = 0, int to = INT_MAX) const;
    std::size_t trimThreshold() const { return trimThreshold_; }

    // The whole text with its colours as RTF (rtf_writer.h), in the terminal's font.
    std::string ToRtf();
    // Writes ToRtf() to path, replacing the file; false with the reason in err on failure.
    bool SaveRtf(const std::string& path, platform::SystemError* err = nullptr);

    // The "Cut", "Copy", "Paste" pop-up of the input variant (caller owns it); nullptr in the
    // display-only variant.
    QMenu* CreateContextMenu(QWidget* parent);

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    QMimeData* createMimeDataFromSelection() const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    struct Pending {
        std::vector<std::uint8_t> bytes;
        serial::ColourRef colour;
        std::uint64_t lost = 0;  // a marker for that many dropped bytes, drawn before them
    };

    struct Piece {
        const std::uint8_t* data;
        std::size_t length;
        serial::ColourRef colour;
        std::uint64_t lost = 0;
    };

    void Setup();
    void Queue(const std::uint8_t* data, std::size_t length, serial::ColourRef colour);
    void Draw(const std::vector<Piece>& pieces);
    void DrawQueued(std::size_t byteBudget);
    void DrawBatch();
    void TypedCharacter(std::uint8_t byte);
    void RepeatLine();
    bool IsTerminalKey(const QKeyEvent* e) const;

    serial::ui::TerminalLine* line_ = nullptr;
    int ownFormat_ = serial::kFormatNormal;
    std::size_t trimThreshold_;
    serial::TerminalLineBuffer lineBuffer_;

    platform::MessageQueue<Pending> pending_;
    std::atomic<std::size_t> pendingBytes_{0};
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> lostUnmarked_{0};  // dropped, no marker queued for them yet
    bool held_ = false;
    serial::ui::GuiWakeup drawWakeup_{[this] { DrawBatch(); }, kDrawIntervalMs};
};
