#include "download/ui/dialog_seams.h"

#include <QFileDialog>

namespace kolvane::ui {

namespace {

MessageBoxHandler& messageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}

FileDialogHandler& fileDialogHandler() {
    static FileDialogHandler handler;
    return handler;
}

QMessageBox::StandardButton realMessageBox(const MessageBoxRequest& r) {
    QMessageBox box(r.icon, r.caption.isEmpty() ? kApplicationTitle : r.caption, r.text, r.buttons, r.parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> realFileDialog(const FileDialogRequest& r) {
    QFileDialog dialog(r.parent, r.caption, QString(), r.filter);
    const bool open = r.mode == FileDialogRequest::Mode::Open;
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(r.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::swap(messageBoxHandler(), handler);
    return handler;
}

QMessageBox::StandardButton ShowMessageBox(const MessageBoxRequest& request) {
    // A copy, so a handler may replace itself while it runs.
    MessageBoxHandler handler = messageBoxHandler();
    return handler ? handler(request) : realMessageBox(request);
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler) {
    std::swap(fileDialogHandler(), handler);
    return handler;
}

std::optional<QString> AskFileName(const FileDialogRequest& request) {
    FileDialogHandler handler = fileDialogHandler();
    return handler ? handler(request) : realFileDialog(request);
}

}  // namespace kolvane::ui
