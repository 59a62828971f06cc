#include "download/ui/small_dialogs.h"

#include <QLineEdit>
#include <QPushButton>

#include "download/ui/program_artwork.h"
#include "serial/ui/dialog_seams.h"
#include "ui_about_dlg.h"
#include "ui_rs_port_setup.h"

using serial::ui::showMessageBox;

CRsPortSetupDlg::CRsPortSetupDlg(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CRsPortSetupDlg>()) {
    ui_->setupUi(this);
    portEdit()->setText(QString::number(port_));
    portEdit()->selectAll();
    connect(okButton(), &QPushButton::clicked, this, &CRsPortSetupDlg::accept);
    connect(cancelButton(), &QPushButton::clicked, this, &CRsPortSetupDlg::reject);
    setFixedSize(sizeHint());
}

CRsPortSetupDlg::~CRsPortSetupDlg() = default;

QLineEdit* CRsPortSetupDlg::portEdit() const {
    return ui_->portEdit;
}
QPushButton* CRsPortSetupDlg::okButton() const {
    return ui_->okButton;
}
QPushButton* CRsPortSetupDlg::cancelButton() const {
    return ui_->cancelButton;
}

void CRsPortSetupDlg::accept() {
    bool isNumber = false;
    const QString text = portEdit()->text().trimmed();
    const qulonglong value = text.toULongLong(&isNumber);
    QString problem;
    if (!isNumber)
        problem = QStringLiteral("Please enter a positive integer.");
    else if (value < kMinPort || value > kMaxPort)
        problem = QStringLiteral("Please enter an integer between %1 and %2.")
                      .arg(kMinPort)
                      .arg(kMaxPort);
    if (!problem.isEmpty()) {
        showMessageBox(this, problem, QString(), QMessageBox::Warning);
        portEdit()->setFocus();
        portEdit()->selectAll();
        return;
    }
    port_ = static_cast<unsigned>(value);
    QDialog::accept();
}

namespace kolvane::ui {

CAboutDlg::CAboutDlg(QWidget* parent)
    : AboutBox(artwork(), parent), ui_(std::make_unique<Ui::CAboutDlg>()) {
    ui_->setupUi(this);
    QFont name = ui_->nameLabel->font();
    name.setBold(true);
    name.setPointSize(name.pointSize() + 2);
    ui_->nameLabel->setFont(name);
    finishSetUp(*ui_);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace kolvane::ui
