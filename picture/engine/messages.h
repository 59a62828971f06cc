// How the picture tool's Qt-free parts show a message box: one seam for the whole program.
//
// The engine, the settings and the picture files call ShowMessage() where the user must be
// told something ("Cannot open COM port", "ReceiveDataBlockError", ...). The program installs
// one handler at start: the window shows a QMessageBox (caption, icon, always on top when
// asked), the command line prints the text on standard error. Without a handler the text goes
// to standard error.
//
// Threads: ShowMessage may be called from any thread, including the capture thread (the
// "ReceiveDataBlockError" box). The call blocks until the handler returns, as a modal box
// blocks its caller; a window handler marshals to the GUI thread and waits there. Handlers
// may be replaced at any time; a call in progress finishes with the handler it started with.
#pragma once

#include <functional>
#include <string>

namespace picture {

enum class MessageIcon { None, Error, Information };

struct Message {
    std::string text;     // may hold a second line with the reason and the way out
    std::string caption;  // empty: the application's title
    MessageIcon icon = MessageIcon::None;
    bool topmost = false;  // shown above every other window
};

using MessageHandler = std::function<void(const Message&)>;

// Installs the handler (null restores the default) and returns the one it replaces.
MessageHandler SetMessageHandler(MessageHandler handler);

void ShowMessage(const Message& message);
// A plain box of the application: no caption of its own, no icon.
inline void ShowMessage(const std::string& text) { ShowMessage(Message{text, {}, MessageIcon::None, false}); }
// The boxes captioned "Error" with the error icon.
inline void ShowError(const std::string& text, bool topmost = false) {
    ShowMessage(Message{text, "Error", MessageIcon::Error, topmost});
}

}  // namespace picture
