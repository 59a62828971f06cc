// The two doors through which the picture tool's windows ask the user something: message
// boxes and the save-file dialog. Every box and every file dialog of the windows goes through
// them, so a test installs a handler and answers instead of a person. GUI thread only (the
// engine's messages from other threads arrive here through GuiCallBridge).
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace pictavo {

// The caption of a box that brings none of its own.
inline const QString kApplicationTitle = QStringLiteral("Pictavo");

struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;  // empty: kApplicationTitle
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    bool topmost = false;  // above every other window
};
// Returns the button pressed.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Installs the handler (null: real message boxes) and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request);
inline QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text, const QString& caption = {},
                                                  QMessageBox::Icon icon = QMessageBox::NoIcon,
                                                  QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
    return ShowMessageBox(MessageBoxRequest{parent, text, caption, icon, buttons, false});
}

struct SaveFileRequest {
    QWidget* parent = nullptr;
    QString caption;
    QString proposedPath;  // folder and name shown at first; may be empty
    QString filter;        // "JPEG files (*.jpg);;All files (*)"
};
// The chosen path, nothing when the user cancelled. The dialog asks before replacing an
// existing file and accepts only names in an existing folder.
using SaveFileHandler = std::function<std::optional<QString>(const SaveFileRequest&)>;

SaveFileHandler SetSaveFileHandler(SaveFileHandler handler);
std::optional<QString> AskSaveFileName(const SaveFileRequest& request);

}  // namespace pictavo
