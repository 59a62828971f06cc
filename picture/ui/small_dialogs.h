// The two small dialogs of the send-command window and the main menu: CDebugCommandDlg, the
// switch that offers the debug commands, and CAbout, the about box.
#pragma once

#include <QDialog>
#include <memory>

#include "serial/ui/about_box.h"

class QCheckBox;

namespace Ui {
class CDebugCommandDlg;
class CAbout;
}  // namespace Ui

class CDebugCommandDlg : public QDialog {
    Q_OBJECT
public:
    explicit CDebugCommandDlg(bool enabled, QWidget* parent = nullptr);
    ~CDebugCommandDlg() override;
    // The box's state after OK; the state it was opened with otherwise.
    bool Enabled() const { return enabled_; }
    QCheckBox* enableBox() const;

public slots:
    void accept() override;

private:
    std::unique_ptr<Ui::CDebugCommandDlg> ui_;
    bool enabled_;
};

// On white, the bitmap painted across the top.
class CAbout : public serial::ui::AboutBox {
    Q_OBJECT
public:
    static constexpr int kBitmapLeft = 2, kBitmapTop = 5, kBitmapHeight = 100;
    explicit CAbout(QWidget* parent = nullptr);
    ~CAbout() override;

private:
    std::unique_ptr<Ui::CAbout> ui_;
};
