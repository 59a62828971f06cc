#include "picture/ui/small_dialogs.h"

#include <QCheckBox>
#include <QPushButton>

#include "picture/ui/program_artwork.h"
#include "ui_about.h"
#include "ui_debug_commands.h"

CDebugCommandDlg::CDebugCommandDlg(bool enabled, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CDebugCommandDlg>()), enabled_(enabled) {
    ui_->setupUi(this);
    enableBox()->setChecked(enabled);
    connect(ui_->okButton, &QPushButton::clicked, this, &CDebugCommandDlg::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &CDebugCommandDlg::reject);
}

CDebugCommandDlg::~CDebugCommandDlg() = default;

QCheckBox* CDebugCommandDlg::enableBox() const {
    return ui_->enableBox;
}

void CDebugCommandDlg::accept() {
    enabled_ = enableBox()->isChecked();
    QDialog::accept();
}

CAbout::CAbout(QWidget* parent)
    : AboutBox(pictavo::ui::artwork(), parent), ui_(std::make_unique<Ui::CAbout>()) {
    ui_->setupUi(this);
    // White behind everything; the texts are drawn on it without a background of their own.
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(15);
    for (QLabel* label : {ui_->toolLabel, ui_->companyLabel, ui_->versionLabel}) {
        label->setFont(font);
        label->setAttribute(Qt::WA_TranslucentBackground);
    }
    finishSetUp(*ui_, Band{kBitmapLeft, kBitmapTop, kBitmapHeight}, Size::AsTemplate);
}

CAbout::~CAbout() = default;
