#include "picture/ui/dialog_seams.h"

#include <QFileDialog>

namespace pictavo {

namespace {

MessageBoxHandler& messageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}

SaveFileHandler& saveFileHandler() {
    static SaveFileHandler handler;
    return handler;
}

QMessageBox::StandardButton realMessageBox(const MessageBoxRequest& r) {
    QMessageBox box(r.icon, r.caption.isEmpty() ? kApplicationTitle : r.caption, r.text, r.buttons, r.parent);
    if (r.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> realSaveFileDialog(const SaveFileRequest& r) {
    QFileDialog dialog(r.parent, r.caption, r.proposedPath, r.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!r.proposedPath.isEmpty()) dialog.selectFile(r.proposedPath);
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

SaveFileHandler SetSaveFileHandler(SaveFileHandler handler) {
    std::swap(saveFileHandler(), handler);
    return handler;
}

std::optional<QString> AskSaveFileName(const SaveFileRequest& request) {
    SaveFileHandler handler = saveFileHandler();
    return handler ? handler(request) : realSaveFileDialog(request);
}

}  // namespace pictavo
