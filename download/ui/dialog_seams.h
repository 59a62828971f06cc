// The doors through which the download tool's windows ask the user something: message boxes,
// the open-file dialog and the save-file dialog. Every box and file dialog of the windows goes
// through them, so a test installs a handler and answers instead of a person. GUI thread only.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace kolvane::ui {

// The caption of a box that brings none of its own, and the window title's program name.
inline const QString kApplicationTitle = QStringLiteral("Kolvane");

struct MessageBoxRequest {
    QWidget* parent = nullptr;
    QString text;
    QString caption;  // empty: kApplicationTitle
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};
// Returns the button pressed.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

// Installs the handler (null: real message boxes) and returns the one it replaces.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);
QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request);
inline QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                                  QMessageBox::Icon icon = QMessageBox::NoIcon) {
    return ShowMessageBox(MessageBoxRequest{parent, text, {}, icon, QMessageBox::Ok});
}

struct FileDialogRequest {
    enum class Mode { Open, Save };
    Mode mode = Mode::Open;
    QWidget* parent = nullptr;
    QString caption;
    QString filter;         // "Bin files (*.bin);;All files (*)"
    QString defaultSuffix;  // added to a typed name without extension ("bin")
};
// The chosen path, nothing when the user cancelled. An open dialog accepts only existing
// files; a save dialog asks before replacing one.
using FileDialogHandler = std::function<std::optional<QString>(const FileDialogRequest&)>;

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);
std::optional<QString> AskFileName(const FileDialogRequest& request);

}  // namespace kolvane::ui
