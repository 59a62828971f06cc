#include "serial/ui/dialog_seams.h"

#include <QFileDialog>
#include <QGuiApplication>

namespace serial::ui {

namespace {

QString& defaultCaption() {
    static QString caption;
    return caption;
}

MessageBoxHandler& messageBoxHandler() {
    static MessageBoxHandler handler;
    return handler;
}

FileDialogHandler& fileDialogHandler() {
    static FileDialogHandler handler;
    return handler;
}

QMessageBox::StandardButton realMessageBox(const MessageBoxRequest& r) {
    QString caption = r.caption;
    if (caption.isEmpty()) caption = defaultCaption();
    if (caption.isEmpty()) caption = QGuiApplication::applicationDisplayName();
    QMessageBox box(r.icon, caption, r.text, r.buttons, r.parent);
    if (r.topmost) box.setWindowFlag(Qt::WindowStaysOnTopHint);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

std::optional<QString> realFileDialog(const FileDialogRequest& r) {
    QFileDialog dialog(r.parent, r.caption, r.proposedPath, r.filter);
    const bool save = r.mode == FileDialogRequest::Mode::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (r.mode == FileDialogRequest::Mode::Folder) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        if (!r.proposedPath.isEmpty()) dialog.setDirectory(r.proposedPath);
    } else {
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(r.defaultSuffix);
        if (!r.proposedPath.isEmpty()) dialog.selectFile(r.proposedPath);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    if (r.chosenFilter) *r.chosenFilter = dialog.selectedNameFilter();
    return dialog.selectedFiles().first();
}

}  // namespace

void setDefaultCaption(const QString& caption) {
    defaultCaption() = caption;
}

MessageBoxHandler setMessageBoxHandler(MessageBoxHandler handler) {
    std::swap(messageBoxHandler(), handler);
    return handler;
}

QMessageBox::StandardButton showMessageBox(const MessageBoxRequest& request) {
    // A copy, so a handler may replace itself while it runs.
    MessageBoxHandler handler = messageBoxHandler();
    return handler ? handler(request) : realMessageBox(request);
}

FileDialogHandler setFileDialogHandler(FileDialogHandler handler) {
    std::swap(fileDialogHandler(), handler);
    return handler;
}

std::optional<QString> askFileName(const FileDialogRequest& request) {
    FileDialogHandler handler = fileDialogHandler();
    return handler ? handler(request) : realFileDialog(request);
}

}  // namespace serial::ui
