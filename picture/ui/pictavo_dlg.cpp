#include "picture/ui/pictavo_dlg.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <new>

#include "picture/engine/picture_files.h"
#include "picture/ui/engine_message_boxes.h"
#include "picture/ui/picture_viewer.h"
#include "picture/ui/program_artwork.h"
#include "picture/ui/send_command_dlg.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "picture/ui/window_look.h"
#include "platform/folders.h"
#include "serial/display_text.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/port_menu.h"
#include "ui_pictavo_dlg.h"

using pictavo::PictureSettings;

CPictavoDlg::CPictavoDlg(QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::CPictavoDlg>()),
      reportDrain_(engineReports_, [this](platform::Report& r) { OnReport(r); }),
      watcher_([this](const platform::PortChange&) {
          // The watcher's thread: the menus belong to the GUI thread.
          QMetaObject::invokeMethod(
              this, [this] { UpdateMenus(); }, Qt::QueuedConnection);
      }) {
    ui_->setupUi(this);
    setWindowIcon(pictavo::ui::artwork().programIcon());
    BuildMenus();
    messages_ = std::make_unique<pictavo::ui::EngineMessageBoxes>(this);

    settingsFile_.setDefaultPath();
    LoadSettings();

    // The progress bar and Cancel keep their room while hidden, so the dialog does not jump.
    for (QWidget* w :
         {static_cast<QWidget*>(progressBar()), static_cast<QWidget*>(cancelButton())}) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        w->setSizePolicy(p);
        w->hide();
    }
    pictavo::ui::paintProgressBar(progressBar());
    progressBar()->setRange(0, 100);
    statusLine()->setFont(pictavo::ui::statusFont(kStatusPoints));
    statusLine()->clear();
    connect(cancelButton(), &QPushButton::clicked, this, &CPictavoDlg::OnCancel);
    setFixedSize(sizeHint().expandedTo(QSize(400, 0)));

    tempFile_ = pictavo::makeTempPictureFile();
    watcher_.start();
}

CPictavoDlg::~CPictavoDlg() {
    watcher_.stop();
    engine_.reset();
    reportDrain_.detach();
    messages_.reset();
    if (!tempFile_.empty()) std::remove(tempFile_.c_str());
}

QLabel* CPictavoDlg::statusLine() const {
    return ui_->statusLine;
}
QProgressBar* CPictavoDlg::progressBar() const {
    return ui_->progressBar;
}
QPushButton* CPictavoDlg::cancelButton() const {
    return ui_->cancelButton;
}

// ---- menus ----

QMenu* CPictavoDlg::AddChoiceMenu(QMenu* parent, const QString& title,
                                  int PictureSettings::*setting,
                                  const std::vector<std::pair<QString, int>>& items) {
    QMenu* menu = parent->addMenu(title);
    ChoiceMenu choice{setting, {}};
    for (const auto& [text, value] : items) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, setting, value = value] {
            settings_.*setting = value;
            UpdateMenus();
        });
        choice.items.push_back({action, value});
    }
    choices_.push_back(std::move(choice));
    return menu;
}

void CPictavoDlg::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);

    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Send Command")), &QAction::triggered, this,
            &CPictavoDlg::OnSendCommand);
    takePicture_ = file->addAction(QStringLiteral("&Take Picture"));
    takePicture_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_T));
    addAction(takePicture_);  // the accelerator works wherever the focus is in the dialog
    connect(takePicture_, &QAction::triggered, this, &CPictavoDlg::OnTakePicture);
    file->addSeparator();
    connect(file->addAction(QStringLiteral("Save Settings")), &QAction::triggered, this,
            &CPictavoDlg::SaveSettings);
    connect(file->addAction(QStringLiteral("Load Settings")), &QAction::triggered, this,
            &CPictavoDlg::LoadSettings);
    file->addSeparator();
    connect(file->addAction(QStringLiteral("E&xit")), &QAction::triggered, this,
            [this] { done(0); });

    QMenu* settings = menuBar_->addMenu(QStringLiteral("&Settings"));
    portMenu_ = settings->addMenu(QStringLiteral("&Port"));
    connect(portMenu_, &QMenu::triggered, this,
            [this](QAction* a) { OnPortCommand(a->data().toInt()); });
    AddChoiceMenu(settings, QStringLiteral("&Initial Scale"), &PictureSettings::scale,
                  {{QStringLiteral("25 %"), pictavo::kScale25},
                   {QStringLiteral("50 %"), pictavo::kScale50},
                   {QStringLiteral("75 %"), pictavo::kScale75},
                   {QStringLiteral("100 %"), pictavo::kScale100}});
    AddChoiceMenu(settings, QStringLiteral("Set &Snapshot mode"), &PictureSettings::snapshot,
                  {{QStringLiteral("On"), 1}, {QStringLiteral("Off"), 0}});
    connect(settings->addAction(QStringLiteral("Set picure size")), &QAction::triggered, this,
            &CPictavoDlg::OnSetSize);
    connect(settings->addAction(QStringLiteral("Set picture quality")), &QAction::triggered, this,
            &CPictavoDlg::OnSetQuality);
    AddChoiceMenu(settings, QStringLiteral("Enable LED's for illumination"),
                  &PictureSettings::illumination,
                  {{QStringLiteral("No"), 0}, {QStringLiteral("Yes"), 1}});
    AddChoiceMenu(settings, QStringLiteral("Ignore Port Name"), &PictureSettings::ignorePortName,
                  {{QStringLiteral("Yes"), 1}, {QStringLiteral("No"), 0}});
    AddChoiceMenu(settings, QStringLiteral("&JPEG Image"), &PictureSettings::jpegImage,
                  {{QStringLiteral("JPEG"), 1}, {QStringLiteral("BMP"), 0}});

    QMenu* help = menuBar_->addMenu(QStringLiteral("&Help"));
    connect(help->addAction(QStringLiteral("&About")), &QAction::triggered, this,
            &CPictavoDlg::OnAbout);
}

void CPictavoDlg::UpdateMenus() {
    BuildPortMenu(menuBar_, kFirstPortCommand, settings_.port, serial::PortOrder::Ascending);
    for (const auto& choice : choices_)
        for (const auto& item : choice.items)
            item.action->setChecked(settings_.*choice.setting == item.value);
}

// ---- settings ----

void CPictavoDlg::LoadSettings() {
    pictavo::LoadSettings(settingsFile_, settings_);
    for (const std::string& w : pictavo::restoreRefusedSettings(settingsFile_, settings_))
        pictavo::showMessage(pictavo::Message{w, {}, pictavo::MessageIcon::Information, false});
    UpdateMenus();
}

void CPictavoDlg::SaveSettings() {
    if (auto failed = pictavo::SaveSettings(settingsFile_, settings_))
        serial::ui::showMessageBox(this,
                                   QString::fromStdString(platform::cannotWriteText(
                                       serial::namedControlBytes(settingsFile_.path()), *failed)),
                                   QStringLiteral("Error"), QMessageBox::Critical);
}

void CPictavoDlg::SetCameraSettingsEnabled(bool on) {
    settings_.enableCameraSettings = on ? 1 : 0;
}

void CPictavoDlg::OnSetSize() {
    set_size dialog({settings_.startx, settings_.starty, settings_.endx, settings_.endy}, this);
    if (dialog.exec() != QDialog::Accepted) return;
    pictavo::PictureWindow w = dialog.Window();
    settings_.startx = w.x0;
    settings_.starty = w.y0;
    settings_.endx = w.x1;
    settings_.endy = w.y1;
}

void CPictavoDlg::OnSetQuality() {
    CQuality dialog(settings_.quality, this);
    if (dialog.exec() == QDialog::Accepted) settings_.quality = dialog.Quality();
}

void CPictavoDlg::OnAbout() {
    CAbout about(this);
    about.exec();
}

void CPictavoDlg::OnSendCommand() {
    if (exiting_) return;
    CSendCommandDlg window(*this);
    sendWindow_ = &window;
    window.exec();
    sendWindow_ = nullptr;
}

void CPictavoDlg::OnPortCommand(int command) {
    if (command < kFirstPortCommand || command > kLastPortCommand) return;
    settings_.port = command - kFirstPortCommand + 1;
    UpdateMenus();
    // Even the port already chosen: the next picture checks the device again.
    DestroyEngine();
}

// ---- the engine ----

bool CPictavoDlg::EnsureEngine() {
    if (engine_) return true;
    try {
        engine_ = std::make_unique<CImageVideo>(settings_.port, &engineReports_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void CPictavoDlg::DestroyEngine() {
    engine_.reset();
}

void CPictavoDlg::SetStatus(const QString& text) {
    statusLine()->setText(text);
    statusLine()->repaint();  // before the device check keeps the GUI thread busy
    if (sendWindow_) sendWindow_->SetStatusText(text);
}

void CPictavoDlg::InitializationFailed() {
    SetStatus(QString());
    serial::ui::showMessageBox(this, QStringLiteral("Initialization Failed."));
}

void CPictavoDlg::OnTakePicture() {
    if (exiting_) return;
    SetStatus(QStringLiteral("Initializing..."));
    if (!EnsureEngine() || !engine_->FindDevice(settings_.ignorePortName != 0)) {
        reportDrain_.drain();  // the engine's reason comes first
        InitializationFailed();
        return;
    }
    engine_->SetRequestFlags(0);
    engine_->SetIdleInterval(0);
    engine_->SetImageCallback([this](const pictavo::BitmapInfo* header, const std::uint8_t* data,
                                     std::size_t length) { OnImage(header, data, length); });
    engine_->SetSnapshot(settings_.snapshot != 0);
    engine_->SetQuality(settings_.quality);  // a value it refuses leaves its previous quality
    engine_->SetWindow(settings_.startx, settings_.starty, settings_.endx, settings_.endy);
    if (engine_->StartCapture(settings_.jpegImage != 0) != 0) {
        reportDrain_.drain();
        return;
    }
    if (settings_.snapshot) {
        SetStatus(QStringLiteral("Aim and trigger..."));
        cancelButton()->show();  // the wait for the trigger has no limit: the user may end it
    }
}

bool CPictavoDlg::PrepareForCommand() {
    if (exiting_) return false;
    if (engine_ && engine_->IsReady()) return true;  // SendCommand opens the line itself
    if (!EnsureEngine() || !engine_->FindDevice(settings_.ignorePortName != 0)) {
        reportDrain_.drain();
        InitializationFailed();
        return false;
    }
    return true;
}

void CPictavoDlg::OnCancel() {
    if (!engine_) return;
    engine_->StopCapture();
}

void CPictavoDlg::OnReport(const platform::Report& report) {
    switch (report.kind) {
        case platform::Report::Kind::Message:
            pictavo::ui::showMessageBox(this, pictavo::messageOf(report));
            break;
        case platform::Report::Kind::Progress:
            OnProgress(report.value);
            break;
        case platform::Report::Kind::Completed:
            OnCaptureEnded(static_cast<CaptureOutcome>(report.value));
            break;
        case platform::Report::Kind::Log:
            break;
    }
}

// Capture thread: the bytes are kept until the capture has ended.
void CPictavoDlg::OnImage(const pictavo::BitmapInfo* header, const std::uint8_t* data,
                          std::size_t length) {
    Picture p;
    if (header) p.header = *header;
    p.bytes.assign(data, data + length);
    std::lock_guard l(pictureLock_);
    picture_ = std::move(p);
}

void CPictavoDlg::OnCaptureEnded(CaptureOutcome outcome) {
    std::optional<Picture> p;
    {
        std::lock_guard l(pictureLock_);
        p.swap(picture_);
    }
    cancelButton()->hide();
    if (statusLine()->text() == QLatin1String("Aim and trigger...")) SetStatus(QString());
    if (outcome != CaptureOutcome::Delivered || !p || exiting_) return;
    const pictavo::BitmapInfo* header = p->header ? &*p->header : nullptr;
    if (!pictavo::storePicture(tempFile_, header, p->bytes.data(), p->bytes.size())) return;
    // Shown all the same: what did arrive may tell whoever looks into the scanner something.
    const std::string incomplete =
        pictavo::incompletePicture(header, p->bytes.data(), p->bytes.size());
    if (!incomplete.empty())
        serial::ui::showMessageBox(this, QString::fromStdString(incomplete), QString(),
                                   QMessageBox::Warning);
    ShowViewer();
}

void CPictavoDlg::ShowViewer() {
    if (exiting_) return;
    QWidget* parent = sendWindow_ ? static_cast<QWidget*>(sendWindow_) : this;
    CPictureViewer viewer(settings_, tempFile_, parent);
    viewer.setWindowIcon(windowIcon());
    viewer_ = &viewer;
    viewer.exec();
    viewer_ = nullptr;
}

void CPictavoDlg::OnProgress(int percent) {
    const bool transferring = percent > 0;
    progressBar()->setValue(transferring ? percent : 0);
    progressBar()->setVisible(transferring);
    cancelButton()->setVisible(transferring);
    statusLine()->setText(transferring ? QStringLiteral("Transferring...") : QString());
    if (sendWindow_) {
        sendWindow_->SetStatusText(statusLine()->text());
        sendWindow_->SetProgress(percent);
    }
}

// ---- exit ----

void CPictavoDlg::done(int result) {
    if (exiting_) {
        QDialog::done(result);
        return;
    }
    exiting_ = true;
    watcher_.stop();
    if (viewer_) viewer_->reject();
    if (sendWindow_) sendWindow_->reject();
    if (engine_) {
        engine_->StopCapture();
        engine_.reset();
    }
    SaveSettings();
    QDialog::done(0);
}
