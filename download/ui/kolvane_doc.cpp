#include "download/ui/kolvane_doc.h"

#include <QFile>
#include <QFileInfo>

#include "serial/ui/dialog_seams.h"

using serial::ui::FileDialogRequest;

QString CKolvaneDoc::Title() const {
    return path_.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path_).fileName();
}

bool CKolvaneDoc::OnFileSave(QWidget* dialogParent) {
    QString path = path_;
    if (path.isEmpty()) {
        auto chosen = serial::ui::askFileName({.mode = FileDialogRequest::Mode::Save,
                                               .parent = dialogParent,
                                               .caption = QStringLiteral("Save As"),
                                               .proposedPath = {},
                                               .filter = QStringLiteral("All files (*)"),
                                               .defaultSuffix = {}});
        if (!chosen) return false;
        path = *chosen;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        serial::ui::showMessageBox(dialogParent, QStringLiteral("Cannot save %1:\n%2").arg(path, file.errorString()),
                                   QString(), QMessageBox::Warning);
        return false;
    }
    file.close();
    if (path != path_) {
        path_ = path;
        emit TitleChanged();
    }
    return true;
}
