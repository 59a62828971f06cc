#include "download/ui/kolvane_doc.h"

#include <QDateTime>
#include <QFile>

#include "platform/folders.h"

#include "serial/display_text.h"
#include "serial/ui/dialog_seams.h"

using serial::ui::FileDialogRequest;

QString CKolvaneDoc::ProposedLogPath() {
    const QString name =
        QDateTime::currentDateTime().toString(QStringLiteral("'kolvane-'yyyyMMdd-hhmmss'.log'"));
    return QString::fromStdString(
        platform::joinPath(platform::documentsFolder(), name.toStdString()));
}

bool CKolvaneDoc::OnFileSave(QWidget* dialogParent, const std::vector<std::string>& logLines) {
    auto chosen =
        serial::ui::askFileName({.mode = FileDialogRequest::Mode::Save,
                                 .parent = dialogParent,
                                 .caption = QStringLiteral("Save Log"),
                                 .proposedPath = ProposedLogPath(),
                                 .filter = QStringLiteral("Log files (*.log);;All files (*)"),
                                 .defaultSuffix = QStringLiteral("log")});
    if (!chosen) return false;
    std::string text;
    for (const std::string& line : logLines) text += line + '\n';
    platform::SystemError err;
    const std::string path = QFile::encodeName(*chosen).toStdString();
    if (!platform::replaceFileContents(path, text, &err)) {
        serial::ui::showMessageBox(
            dialogParent,
            QString::fromLocal8Bit(
                platform::cannotWriteText(serial::namedControlBytes(path), err).c_str()),
            QString(), QMessageBox::Warning);
        return false;
    }
    return true;
}
