// The two doors through which the windows ask the user something: message boxes and file
// dialogs (open and save). Every box and every file dialog of the windows goes through them,
// so a test installs a handler and answers instead of a person. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace serial::ui {

// The caption of a box that brings none of its own: each program names itself at start-up;
// until then the application's name.
void setDefaultCaption(const QString& caption);

struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;  // empty: the default caption
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    bool topmost = false;  // above every other window
};
// Returns the button pressed.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Installs the handler (null: real message boxes) and returns the one it replaces.
MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler);
QMessageBox::StandardButton showMessageBox(const MessageBoxRequest& request);
inline QMessageBox::StandardButton showMessageBox(
    QWidget* parent, const QString& text, const QString& caption = {},
    QMessageBox::Icon icon = QMessageBox::NoIcon,
    QMessageBox::StandardButtons buttons = QMessageBox::Ok) {
    return showMessageBox(MessageBoxRequest{parent, text, caption, icon, buttons, false});
}

struct FileDialogRequest {
    enum class Mode { Open, Save, Folder };
    Mode mode = Mode::Open;
    QWidget* parent = nullptr;
    QString caption;
    QString proposedPath;   // folder and name shown at first; may be empty
    QString filter;         // "JPEG files (*.jpg);;All files (*)"
    QString defaultSuffix;  // added to a typed name without extension ("bin"); may be empty
    // When set, receives the filter the user had chosen (one of filter's, as written there).
    QString* chosenFilter = nullptr;
};
// The chosen path, nothing when the user cancelled. An open dialog accepts only existing
// files; a save dialog asks before replacing one and accepts only names in an existing folder;
// a folder dialog shows and returns existing folders only.
using FileDialogHandler = std::function<std::optional<QString>(const FileDialogRequest&)>;

FileDialogHandler setFileDialogHandler(FileDialogHandler handler);
std::optional<QString> askFileName(const FileDialogRequest& request);

}  // namespace serial::ui
