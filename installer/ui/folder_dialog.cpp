#include "installer/ui/folder_dialog.h"

#include <QDir>
#include <QFileInfo>

#include "serial/ui/dialog_seams.h"

CFolderDialog::CFolderDialog(const QString& title, const QString& startFolder, QWidget* owner)
    : title_(title), start_(startFolder), owner_(owner) {}

int CFolderDialog::DoModal() {
    serial::ui::FileDialogRequest request;
    request.mode = serial::ui::FileDialogRequest::Mode::Folder;
    request.parent = owner_;
    request.caption = title_;
    if (!start_.isEmpty() && QFileInfo(start_).isDir()) request.proposedPath = start_;
    auto chosen = serial::ui::askFileName(request);
    if (!chosen || chosen->isEmpty()) return QDialog::Rejected;
    QFileInfo folder(*chosen);
    if (!folder.isDir()) return -1;
    chosen_ = QDir::cleanPath(folder.absoluteFilePath());
    return QDialog::Accepted;
}
