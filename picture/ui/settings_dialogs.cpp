#include "picture/ui/settings_dialogs.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "picture/engine/setting_checks.h"
#include "picture/ui/program_artwork.h"
#include "serial/ui/dialog_seams.h"
#include "ui_camera_settings.h"
#include "ui_quality.h"
#include "ui_set_size.h"

namespace {

// Digits only, as typed; the blanks in front are those of the "%4d" the edit was filled with.
void acceptDigitsOnly(QLineEdit* edit) {
    edit->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral(" *[0-9]*")), edit));
}

QString formatted4(int value) {
    return QString::asprintf("%4d", value);
}

int numberIn(const QLineEdit* edit) {
    return pictavo::readDialogNumber(edit->text().toStdString());
}

void refuse(QWidget* parent, const QString& text) {
    serial::ui::showMessageBox(parent, text, QString(), QMessageBox::Warning);
}

}  // namespace

// ---- set_size ----

set_size::set_size(const pictavo::PictureWindow& window, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::set_size>()), window_(window) {
    ui_->setupUi(this);
    for (QLineEdit* e : {x0Edit(), y0Edit(), x1Edit(), y1Edit()}) acceptDigitsOnly(e);
    connect(ui_->okButton, &QPushButton::clicked, this, &set_size::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &set_size::reject);
    connect(ui_->defaultButton, &QPushButton::clicked, this, &set_size::OnDefault);
    Fill();
}

set_size::~set_size() = default;

QLineEdit* set_size::x0Edit() const {
    return ui_->x0Edit;
}
QLineEdit* set_size::y0Edit() const {
    return ui_->y0Edit;
}
QLineEdit* set_size::x1Edit() const {
    return ui_->x1Edit;
}
QLineEdit* set_size::y1Edit() const {
    return ui_->y1Edit;
}

void set_size::Fill() {
    x0Edit()->setText(formatted4(window_.x0));
    y0Edit()->setText(formatted4(window_.y0));
    x1Edit()->setText(formatted4(window_.x1));
    y1Edit()->setText(formatted4(window_.y1));
}

void set_size::accept() {
    pictavo::PictureWindow w{numberIn(x0Edit()), numberIn(y0Edit()), numberIn(x1Edit()),
                             numberIn(y1Edit())};
    if (!pictavo::pictureWindowInRange(w)) {
        refuse(this, QStringLiteral("Values are out of range\nTry again."));
        return;
    }
    window_ = w;
    QDialog::accept();
}

void set_size::OnDefault() {
    window_ = pictavo::PictureWindow{};
    Fill();
}

// ---- CQuality ----

CQuality::CQuality(int quality, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CQuality>()), quality_(quality) {
    ui_->setupUi(this);
    acceptDigitsOnly(qualityEdit());
    connect(ui_->okButton, &QPushButton::clicked, this, &CQuality::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &CQuality::reject);
    connect(ui_->defaultButton, &QPushButton::clicked, this, &CQuality::OnDefault);
    Fill();
}

CQuality::~CQuality() = default;

QLineEdit* CQuality::qualityEdit() const {
    return ui_->qualityEdit;
}

void CQuality::Fill() {
    qualityEdit()->setText(formatted4(quality_));
}

void CQuality::accept() {
    int q = numberIn(qualityEdit());
    if (!pictavo::qualityInRange(q)) {
        refuse(this, QStringLiteral("Value is out of range\nTry again."));
        return;
    }
    quality_ = q;
    QDialog::accept();
}

void CQuality::OnDefault() {
    quality_ = kDefaultQuality;
    Fill();
}

// ---- CCameraSettingsDlg ----

CCameraSettingsDlg::CCameraSettingsDlg(const std::string& cameraSetup, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CCameraSettingsDlg>()), text_(cameraSetup) {
    ui_->setupUi(this);
    setWindowIcon(pictavo::ui::artwork().programIcon());
    for (QLineEdit* e : {autoFocusEdit(), shutterEdit(), gainEdit()}) {
        e->setValidator(
            new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
        e->setAlignment(Qt::AlignCenter);
    }
    connect(ui_->okButton, &QPushButton::clicked, this, &CCameraSettingsDlg::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &CCameraSettingsDlg::reject);
    if (auto values = pictavo::readCameraValues(text_)) {
        autoFocusEdit()->setText(QString::fromLatin1(values->autoFocus.c_str()));
        shutterEdit()->setText(QString::fromLatin1(values->shutter.c_str()));
        gainEdit()->setText(QString::fromLatin1(values->gain.c_str()));
    }
}

CCameraSettingsDlg::~CCameraSettingsDlg() = default;

QLineEdit* CCameraSettingsDlg::autoFocusEdit() const {
    return ui_->autoFocusEdit;
}
QLineEdit* CCameraSettingsDlg::shutterEdit() const {
    return ui_->shutterEdit;
}
QLineEdit* CCameraSettingsDlg::gainEdit() const {
    return ui_->gainEdit;
}

void CCameraSettingsDlg::accept() {
    if (!pictavo::readCameraValues(text_)) {
        refuse(this, QStringLiteral(
                         "The camera set-up text \"%1\" does not hold the five camera values "
                         "(one character after each of five letters Q).\n"
                         "It is left unchanged; \"CameraSetup\" in the settings file holds it.")
                         .arg(QString::fromLatin1(text_.c_str())));
        QDialog::reject();
        return;
    }
    pictavo::CameraValues values{autoFocusEdit()->text().toStdString(),
                                 shutterEdit()->text().toStdString(),
                                 gainEdit()->text().toStdString()};
    auto changed = pictavo::writeCameraValues(text_, values);
    if (!changed) {
        refuse(this,
               QStringLiteral(
                   "Auto Focus takes three digits, Shutter and Gain one digit each.\nTry again."));
        return;
    }
    text_ = *changed;
    QDialog::accept();
}
