// CKolvaneDoc, the download tool's document. It holds no data: the log is the view's, the
// settings are the worker's. What is left is the frame's title ("Untitled") and the toolbar's
// Save, which stores the log as a text file under a name the user chooses.
#pragma once

#include <QObject>
#include <QString>
#include <string>
#include <vector>

class CKolvaneDoc : public QObject {
    Q_OBJECT
public:
    explicit CKolvaneDoc(QObject* parent = nullptr) : QObject(parent) {}

    QString Title() const { return QStringLiteral("Untitled"); }
    // The name proposed for a saved log: "kolvane-YYYYMMDD-hhmmss.log" in the documents folder.
    static QString ProposedLogPath();
    // Asks for a name (the save-file dialog, through its seam) and writes the log's lines as
    // UTF-8 text, one line each; false when the user cancelled or the file cannot be written
    // (which a message box says). The window keeps its title.
    bool OnFileSave(QWidget* dialogParent, const std::vector<std::string>& logLines);
};
