#include "picture/ui/send_command_dlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "picture/engine/image_video.h"
#include "picture/engine/picture_settings.h"
#include "picture/ui/program_artwork.h"
#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "picture/ui/window_look.h"
#include "platform/folders.h"
#include "serial/display_text.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/terminal_view.h"
#include "ui_send_command.h"

namespace {
constexpr int kStatusPoints = 10;
}

CSendCommandDlg::CSendCommandDlg(pictavo::ui::SendCommandOwner& owner)
    : QDialog(owner.ownerWindow()),
      owner_(owner),
      ui_(std::make_unique<Ui::CSendCommandDlg>()),
      commands_(owner.Settings().cameraSetup) {
    ui_->setupUi(this);
    setWindowIcon(pictavo::ui::artwork().programIcon());
    BuildMenus();

    terminal()->SetDisplayFormat(serial::kFormatAscii);
    terminal()->setFont(pictavo::ui::terminalFont());
    terminal()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    cameraButton()->hide();
    statusText()->setFont(pictavo::ui::statusFont(kStatusPoints));
    statusText()->clear();
    pictavo::ui::paintProgressBar(progressBar());
    progressBar()->setRange(0, 100);
    QSizePolicy keep = progressBar()->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    progressBar()->setSizePolicy(keep);
    progressBar()->hide();

    connect(sendButton(), &QPushButton::clicked, this, &CSendCommandDlg::OnSendCmd);
    connect(pictureButton(), &QPushButton::clicked, this, [this] { owner_.OnTakePicture(); });
    connect(cameraButton(), &QPushButton::clicked, this, &CSendCommandDlg::OnCameraSettings);
    connect(calibrateButton(), &QPushButton::clicked, this,
            [this] { SendNamedCommand("Rack Calibrate"); });
    connect(analyzeButton(), &QPushButton::clicked, this,
            [this] { SendNamedCommand("Rack Analyze"); });

    FillCommandList();
    LayOutPanes();
}

CSendCommandDlg::~CSendCommandDlg() = default;

QComboBox* CSendCommandDlg::commandList() const {
    return ui_->commandList;
}
CMyEdit* CSendCommandDlg::terminal() const {
    return ui_->terminal;
}
QLabel* CSendCommandDlg::statusText() const {
    return ui_->statusText;
}
QProgressBar* CSendCommandDlg::progressBar() const {
    return ui_->progressBar;
}
QPushButton* CSendCommandDlg::sendButton() const {
    return ui_->sendButton;
}
QPushButton* CSendCommandDlg::pictureButton() const {
    return ui_->pictureButton;
}
QPushButton* CSendCommandDlg::cameraButton() const {
    return ui_->cameraButton;
}
QPushButton* CSendCommandDlg::calibrateButton() const {
    return ui_->calibrateButton;
}
QPushButton* CSendCommandDlg::analyzeButton() const {
    return ui_->analyzeButton;
}

void CSendCommandDlg::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    connect(file->addAction(QStringLiteral("&Save Text")), &QAction::triggered, this,
            &CSendCommandDlg::OnSaveText);
    connect(file->addAction(QStringLiteral("Save Se&ttings")), &QAction::triggered, this,
            [this] { owner_.SaveSettings(); });
    file->addSeparator();
    connect(file->addAction(QStringLiteral("&Close")), &QAction::triggered, this, &QDialog::reject);
    QMenu* tools = menuBar_->addMenu(QStringLiteral("Tools"));
    connect(tools->addAction(QStringLiteral("Camera Settings")), &QAction::triggered, this,
            &CSendCommandDlg::OnCameraSettings);
    connect(tools->addAction(QStringLiteral("Clear Screen")), &QAction::triggered, this,
            &CSendCommandDlg::OnClearScreen);
    connect(tools->addAction(QStringLiteral("&Debug Commands")), &QAction::triggered, this,
            &CSendCommandDlg::OnDebugCommands);
}

void CSendCommandDlg::FillCommandList() {
    commandList()->clear();
    for (const auto& name : commands_.names(owner_.Settings().debugCommands == 1))
        commandList()->addItem(QString::fromStdString(name));
}

// The column takes 15 % of the width, but never less than its controls need; the terminal
// the rest, from the menu bar down.
void CSendCommandDlg::LayOutPanes() {
    const int top = menuBar_->sizeHint().height();
    menuBar_->setGeometry(0, 0, width(), top);
    const int height = std::max(0, this->height() - top);
    columnWidth_ = std::max(width() * kColumnPercent / 100, ui_->column->minimumSizeHint().width());
    ui_->column->setGeometry(0, top, columnWidth_, height);
    terminal()->setGeometry(columnWidth_, top, std::max(0, width() - columnWidth_), height);
}

void CSendCommandDlg::resizeEvent(QResizeEvent* e) {
    QDialog::resizeEvent(e);
    LayOutPanes();
}

void CSendCommandDlg::SetStatusText(const QString& text) {
    statusText()->setText(text);
    statusText()->repaint();
}

void CSendCommandDlg::SetProgress(int percent) {
    progressBar()->setValue(std::clamp(percent, 0, 100));
    progressBar()->setVisible(percent > 0);
}

void CSendCommandDlg::SendNamedCommand(const std::string& name) {
    const pictavo::ScannerCommand* command = commands_.find(name);
    if (!command) return;
    terminal()->AppendBytes(command->bytes, serial::kColourRed);
    terminal()->repaint();  // the wait for the reply keeps the GUI thread busy
    if (!owner_.PrepareForCommand() || !owner_.Engine()) return;

    std::vector<char> reply(kReplyBufferSize);
    int replyLength = 0;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool sent = owner_.Engine()->SendCommand(command->bytes.data(),
                                             static_cast<int>(command->bytes.size()), reply.data(),
                                             reply.size(), true, replyLength, command->replyWaitMs);
    QApplication::restoreOverrideCursor();
    if ((!sent || replyLength == 0) && owner_.Engine()->LastCommandLostLine()) {
        serial::ui::showMessageBox(this, QString::fromStdString(owner_.Engine()->lineLostLine()),
                                   QStringLiteral("Error"), QMessageBox::Critical);
        return;
    }
    if (!sent) {
        // The port went away since the device check: say so rather than look like a silent scanner.
        serial::ui::showMessageBox(
            this,
            QStringLiteral("The command could not be sent: COM%1 cannot be opened.")
                .arg(owner_.Settings().port),
            QStringLiteral("Error"), QMessageBox::Critical);
        return;
    }
    if (replyLength > 0)
        terminal()->AppendBytes(reinterpret_cast<const std::uint8_t*>(reply.data()),
                                static_cast<std::size_t>(replyLength), serial::kColourDarkBlue);
}

void CSendCommandDlg::OnSendCmd() {
    if (commandList()->currentIndex() < 0) return;
    SendNamedCommand(commandList()->currentText().toStdString());
}

void CSendCommandDlg::OnCameraSettings() {
    CCameraSettingsDlg dialog(owner_.Settings().cameraSetup, this);
    if (dialog.exec() != QDialog::Accepted) return;
    commands_.setCameraSetup(dialog.CameraSetup());
    SendNamedCommand(pictavo::CommandTable::kSetupCamera);
    owner_.Settings().cameraSetup = dialog.CameraSetup();
}

void CSendCommandDlg::OnClearScreen() {
    auto answer =
        serial::ui::showMessageBox(this, QStringLiteral("Erase all text?"), QString(),
                                   QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel);
    if (answer == QMessageBox::Ok) terminal()->ClearScreen();
}

void CSendCommandDlg::OnDebugCommands() {
    const bool enabled = owner_.Settings().debugCommands == 1;
    CDebugCommandDlg dialog(enabled, this);
    if (dialog.exec() != QDialog::Accepted || dialog.Enabled() == enabled) return;
    owner_.Settings().debugCommands = dialog.Enabled() ? 1 : 0;
    FillCommandList();
}

QString CSendCommandDlg::ProposedTextFile() const {
    if (!savedTextFile_.isEmpty()) return savedTextFile_;
    return QString::fromStdString(platform::joinPath(platform::documentsFolder(), kTextFileName));
}

void CSendCommandDlg::OnSaveText() {
    auto chosen =
        serial::ui::askFileName({.mode = serial::ui::FileDialogRequest::Mode::Save,
                                 .parent = this,
                                 .caption = QStringLiteral("Save Text"),
                                 .proposedPath = ProposedTextFile(),
                                 .filter = QStringLiteral("Rich text files (*.rtf);;All files (*)"),
                                 .defaultSuffix = {}});
    if (!chosen || chosen->isEmpty()) return;
    savedTextFile_ = *chosen;
    platform::SystemError err;
    if (!terminal()->SaveRtf(chosen->toStdString(), &err)) {
        serial::ui::showMessageBox(this,
                                   QString::fromStdString(platform::cannotWriteText(
                                       serial::namedControlBytes(chosen->toStdString()), err)),
                                   QStringLiteral("Error"), QMessageBox::Critical);
        return;
    }
    QTextCursor cursor = terminal()->textCursor();
    cursor.clearSelection();
    terminal()->setTextCursor(cursor);
}
