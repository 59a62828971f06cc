// How the picture tool's messages look, and the seam through which its Qt-free helpers show
// them.
//
// The capture engine speaks through its report queue (image_video.h); messageOf() says how
// one of its message reports is shown. The picture files and settings, which run on their
// caller's thread, call showMessage() where the user must be told something ("Cannot create
// temp. file", ...). The program installs one handler at start: the window shows a
// QMessageBox (caption, icon, always on top when asked), the command line prints the text on
// standard error. Without a handler the text goes to standard error, through
// platform::trace::errorLine (the engine writes to no stream itself).
//
// Threads: the window calls these helpers on its own thread only. The call blocks until the
// handler returns, as a modal box blocks its caller. Handlers may be replaced at any time; a
// call in progress finishes with the handler it started with.
#pragma once

#include <functional>
#include <string>

#include "platform/report.h"

namespace pictavo {

enum class MessageIcon { None, Error, Information };

struct Message {
    std::string text;     // may hold a second line with the reason and the way out
    std::string caption;  // empty: the application's title
    MessageIcon icon = MessageIcon::None;
    bool topmost = false;  // shown above every other window
};

using MessageHandler = std::function<void(const Message&)>;

// Installs the handler (null restores the default) and returns the one it replaces.
MessageHandler setMessageHandler(MessageHandler handler);

void showMessage(const Message& message);
// An engine's message report as a box: errors are captioned "Error" with the error icon,
// plain messages carry the application's title and no icon.
Message messageOf(const platform::Report& report);

// A plain box of the application: no caption of its own, no icon.
inline void showMessage(const std::string& text) {
    showMessage(Message{text, {}, MessageIcon::None, false});
}
// The boxes captioned "Error" with the error icon.
inline void showError(const std::string& text, bool topmost = false) {
    showMessage(Message{text, "Error", MessageIcon::Error, topmost});
}

}  // namespace pictavo
