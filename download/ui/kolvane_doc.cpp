#include "download/ui/kolvane_doc.h"

#include <QFile>
#include <QFileInfo>

#include "download/ui/dialog_seams.h"

using kolvane::ui::FileDialogRequest;

QString CKolvaneDoc::Title() const {
    return path_.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(path_).fileName();
}

bool CKolvaneDoc::OnFileSave(QWidget* dialogParent) {
    QString path = path_;
    if (path.isEmpty()) {
        auto chosen = kolvane::ui::AskFileName({FileDialogRequest::Mode::Save, dialogParent, QStringLiteral("Save As"),
                                                QStringLiteral("All files (*)"), QString()});
        if (!chosen) return false;
        path = *chosen;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        kolvane::ui::ShowMessageBox(dialogParent, QStringLiteral("Cannot save %1:\n%2").arg(path, file.errorString()),
                                    QMessageBox::Warning);
        return false;
    }
    file.close();
    if (path != path_) {
        path_ = path;
        emit TitleChanged();
    }
    return true;
}
