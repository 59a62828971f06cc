// CKolvaneDoc, the download tool's document. It holds no data: the log is the view's, the
// settings are the worker's. What is left is the frame's title and the toolbar's Save, which
// stores the empty document (an empty file) under a name asked for the first time.
#pragma once

#include <QObject>
#include <QString>

class CKolvaneDoc : public QObject {
    Q_OBJECT
public:
    explicit CKolvaneDoc(QObject* parent = nullptr) : QObject(parent) {}

    // "Untitled" until saved, then the saved file's name.
    QString Title() const;
    const QString& PathName() const { return path_; }
    // Asks for a name the first time (the save-file dialog, through its seam); false when the
    // user cancelled or the file cannot be written.
    bool OnFileSave(QWidget* dialogParent);

signals:
    void TitleChanged();

private:
    QString path_;
};
