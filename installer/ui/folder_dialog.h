// CFolderDialog, the folder choice of the RS232 monitor's "Receive Vesk file": a folder dialog
// with a title that starts at a given folder (preselected when it exists) and offers existing
// folders only. It asks through the windows' file-dialog door (serial/ui/dialog_seams.h), so a
// test answers it. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

class QWidget;

class CFolderDialog {
public:
    CFolderDialog(const QString& title, const QString& startFolder, QWidget* owner);

    // QDialog::Accepted with a folder chosen, QDialog::Rejected when nothing was, -1 when the
    // choice is not a folder of the file system.
    int DoModal();
    const QString& GetFolderPath() const { return chosen_; }

private:
    QString title_, start_, chosen_;
    QWidget* owner_;
};
