// The download tool's two small dialogs: CRsPortSetupDlg ("RS_PORT_SETUP"), which asks for the
// COM port number of "COM_X", and kolvane::ui::CAboutDlg, the about box (in the program's
// namespace: fenwald has an about box of the same name).
#pragma once

#include <QDialog>
#include <memory>

#include "serial/ui/about_box.h"

class QLineEdit;
class QPushButton;

namespace Ui {
class CRsPortSetupDlg;
}  // namespace Ui
namespace kolvane::ui::Ui {
class CAboutDlg;
}  // namespace kolvane::ui::Ui

class CRsPortSetupDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr unsigned kInitialPort = 5;
    static constexpr unsigned kMinPort = 1, kMaxPort = 100;

    explicit CRsPortSetupDlg(QWidget* parent = nullptr);
    ~CRsPortSetupDlg() override;
    // The number OK accepted; kInitialPort when the dialog was cancelled.
    unsigned Port() const { return port_; }
    QLineEdit* portEdit() const;
    QPushButton* okButton() const;
    QPushButton* cancelButton() const;

public slots:
    // Takes the number only when it is a whole number from 1 to 100; otherwise says so and
    // keeps the dialog open with the field selected.
    void accept() override;

private:
    std::unique_ptr<Ui::CRsPortSetupDlg> ui_;
    unsigned port_ = kInitialPort;
};

namespace kolvane::ui {

class CAboutDlg : public serial::ui::AboutBox {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

private:
    std::unique_ptr<Ui::CAboutDlg> ui_;
};

}  // namespace kolvane::ui
