#include "installer/ui/fenwald_dlg.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "installer/engine/loader_interface.h"
#include "installer/engine/start_file.h"
#include "installer/ui/configure_scanner.h"
#include "installer/ui/fenwald_about.h"
#include "installer/ui/program_artwork.h"
#include "installer/ui/show_rs232.h"
#include "platform/folders.h"
#include "serial/display_text.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/port_menu.h"
#include "ui_fenwald_dlg.h"

namespace {

const QString kFileMenu = QStringLiteral("&File");
const QString kUtilitiesMenu = QStringLiteral("&Utilities");
const QString kSettingsMenu = QStringLiteral("&Settings");
const QString kFirmwareFilter =
    QStringLiteral("Veltrix firmware files (*.HEX *.S2 *.S32 *.bin);;All files (*)");
const QString kTooManyFiles = QStringLiteral("Too much files dropped!!!");
const QString kExitDuringInstallation = QStringLiteral(
    "An installation is running. The scanner may be left without working "
    "firmware. Exit anyway?");
const QString kBusyRefusal = QStringLiteral(
    "The scanner is busy with another operation. Wait for it to end, or cancel "
    "it, before starting another.");

QString cancelledText(CfenwaldDlg::Job job) {
    switch (job) {
        case CfenwaldDlg::Job::Download:
            return QStringLiteral(
                "Installation cancelled: the scanner may be left without working firmware. "
                "Install again before you unplug it.");
        case CfenwaldDlg::Job::Versions:
            return QStringLiteral("Version query cancelled.");
        case CfenwaldDlg::Job::Time:
            return QStringLiteral("Send time cancelled.");
        case CfenwaldDlg::Job::None:
            break;
    }
    return {};
}

QString local(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

// A loader's message may carry a file name or the scanner's answer: its control bytes named.
QString shown(const std::string& text) {
    return local(serial::namedControlBytes(text));
}

// What the settings file held that could not be used; empty when all was well.
QString settingsWarning(const fenwald::SettingsLoad& load, const std::string& path) {
    std::string text;
    if (load.unreadable) text = fenwald::describeUnreadableSettings(path, *load.unreadable) + ".";
    for (const auto& problem : load.problems)
        text += (text.empty() ? "" : "\n") + fenwald::describeSettingProblem(path, problem) + ".";
    if (!load.problems.empty()) text += "\nThe default is used instead.";
    return local(text);
}

QFont statusFont() {
    QFont font(QStringLiteral("Verdana"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(CfenwaldDlg::kStatusPoints);
    return font;
}

void openConfigurationDialog(CfenwaldDlg& window, bool loadOnOpen) {
    ConfigureScanner dialog(window.ConfigurationPath(), loadOnOpen, &window);
    dialog.exec();
}

}  // namespace

CfenwaldDlg::CfenwaldDlg(const std::string& startArgument,
                         std::optional<platform::ComponentRegistry> registry, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::CfenwaldDlg>()),
      opener_(openConfigurationDialog),
      registry_(std::move(registry)),
      loader_(registry_ ? *registry_
                        : platform::ComponentRegistry(platform::componentRegistryPath())),
      loaderDrain_(loader_.events(),
                   [this](platform::ComponentEvent& e) {
                       if (auto status = fenwald::decodeGantryStatus(e)) OnStatus(*status);
                   }),
      watcher_([this](const platform::PortChange&) {
          // The watcher's thread: the menus belong to the GUI thread.
          QMetaObject::invokeMethod(
              this, [this] { RefreshMenus(); }, Qt::QueuedConnection);
      }) {
    ui_->setupUi(this);
    setWindowIcon(fenwald::ui::artwork().programIcon());
    BuildMenus();

    const fenwald::SettingsLoad load = fenwald::loadSettings(settingsFile_, settings_);
    if (const QString warning = settingsWarning(load, settingsFile_.path()); !warning.isEmpty()) {
        // Once the window is there; it goes on with the defaults.
        QTimer::singleShot(0, this, [this, warning] {
            serial::ui::showMessageBox(this, warning, QStringLiteral("Warning"),
                                       QMessageBox::Warning);
        });
    }

    statusLine()->setFont(statusFont());
    // The loader's longer texts take a second line rather than being cut off.
    statusLine()->setWordWrap(true);
    statusLine()->setMinimumHeight(2 * statusLine()->fontMetrics().height());
    statusLine()->clear();
    // The bar keeps its room while hidden, so the window does not jump.
    QSizePolicy p = progressBar()->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    progressBar()->setSizePolicy(p);
    progressBar()->setRange(0, 100);
    progressBar()->hide();
    p = cancelButton()->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    cancelButton()->setSizePolicy(p);
    cancelButton()->setAutoDefault(false);  // Enter never cancels
    cancelButton()->hide();
    connect(cancelButton(), &QPushButton::clicked, this, [this] { CancelJob(); });
    cancelWait_.setSingleShot(true);
    cancelWait_.setTimerType(Qt::PreciseTimer);
    connect(&cancelWait_, &QTimer::timeout, this, [this] { FinishClose(); });
    ShowLoaderPicture();
    FitStatusLine();
    RefreshMenus();

    if (!loader_.created()) {
        loaderControl()->setFrameShape(QFrame::Box);
        loaderControl()->setToolTip(local(loader_.creationError()));
        // Once the window is there: it works on without the loader.
        QTimer::singleShot(0, this, [this] {
            serial::ui::showMessageBox(this, local(loader_.creationError()),
                                       QStringLiteral("Error"), QMessageBox::Critical);
        });
    }

    fileName_ = fenwald::startFileOf(startArgument);
    if (!fileName_.empty()) {
        if (fenwald::isConfigurationFile(fileName_)) {
            configurationPath_ = fileName_;
            openConfigurationOnPaint_ = true;
        } else {
            StartDownload();
        }
    }
    watcher_.start();
}

CfenwaldDlg::~CfenwaldDlg() {
    watcher_.stop();
    loaderDrain_.detach();
}

QLabel* CfenwaldDlg::statusLine() const {
    return ui_->statusLine;
}
QLabel* CfenwaldDlg::loaderControl() const {
    return ui_->loaderControl;
}
QProgressBar* CfenwaldDlg::progressBar() const {
    return ui_->progressBar;
}
QPushButton* CfenwaldDlg::cancelButton() const {
    return ui_->cancelButton;
}
QLabel* CfenwaldDlg::portLabel() const {
    return ui_->portLabel;
}

QAction* CfenwaldDlg::action(int id) const {
    auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : it->second;
}

// ---- menus ----

QAction* CfenwaldDlg::AddCommand(QMenu* menu, const QString& text, int id,
                                 const QKeySequence& shortcut) {
    QAction* a = menu->addAction(text);
    a->setData(id);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        addAction(a);  // the shortcut works wherever the focus is in the window
    }
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    commands_[id] = a;
    return a;
}

void CfenwaldDlg::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);

    QMenu* file = menuBar_->addMenu(kFileMenu);
    AddCommand(file, QStringLiteral("&Download"), kDownload, QKeySequence(Qt::CTRL | Qt::Key_D));
    AddCommand(file, QStringLiteral("Download &Again"), kDownloadAgain,
               QKeySequence(Qt::CTRL | Qt::Key_A));
    // Esc reaches it only while a job runs; otherwise it closes the window.
    AddCommand(file, QStringLiteral("&Cancel"), kCancel, QKeySequence(Qt::Key_Escape))
        ->setEnabled(false);
    AddCommand(file, QStringLiteral("E&xit"), kExit, QKeySequence(Qt::ALT | Qt::Key_X));

    QMenu* utilities = menuBar_->addMenu(kUtilitiesMenu);
    AddCommand(utilities, QStringLiteral("Show RS232 data"), kShowRs232);
    AddCommand(utilities, QStringLiteral("Show software versions"), kShowVersions);
    AddCommand(utilities, QStringLiteral("Send time"), kSendTime);
    AddCommand(utilities, QStringLiteral("Send configuration file"), kSendConfiguration);

    QMenu* settings = menuBar_->addMenu(kSettingsMenu);
    portMenu_ = settings->addMenu(QStringLiteral("Port"));
    portMenu_->addAction(QStringLiteral("COM"))->setData(kFirstPort);
    connect(portMenu_, &QMenu::triggered, this,
            [this](QAction* a) { OnCommand(a->data().toInt()); });
    irdaMenu_ = settings->addMenu(QStringLiteral("IrDA Adapter/Cradle type"));
    for (int type = 0; type <= kLastIrda - kFirstIrda; ++type)
        AddCommand(irdaMenu_, QString::fromLatin1(fenwald::irdaMainWindowItem(type)),
                   kFirstIrda + type)
            ->setCheckable(true);

    QMenu* about = menuBar_->addMenu(QStringLiteral("&About"));
    AddCommand(about, QStringLiteral("About"), kAbout);
}

void CfenwaldDlg::RefreshMenus() {
    BuildPortMenu(menuBar_, kFirstPort, settings_.port, serial::PortOrder::AsFound);
    for (int type = 0; type <= kLastIrda - kFirstIrda; ++type)
        action(kFirstIrda + type)->setChecked(type == settings_.irda);
    ShowPort();
}

void CfenwaldDlg::EnableMenus(bool on) {
    for (QAction* top : menuBar_->actions()) {
        const QString t = top->text();
        if (t != kUtilitiesMenu && t != kSettingsMenu) continue;
        top->setEnabled(on);
        // Their shortcuts too: Ctrl+D during a download would start a second one.
        for (QAction* item : top->menu()->actions()) item->setEnabled(on);
    }
    // File stays: Cancel and Exit are what a running job leaves the user.
    action(kDownload)->setEnabled(on);
    action(kDownloadAgain)->setEnabled(on);
    const bool cancellable = Busy() && !cancelRequested_ && !closed_;
    action(kCancel)->setEnabled(cancellable);
    cancelButton()->setEnabled(cancellable);
    menuBar_->update();
}

// The window keeps its size; the status line is made tall enough for the longest text of the
// window's own, wrapped, so a cancelled installation's warning is read whole.
void CfenwaldDlg::FitStatusLine() {
    setFixedWidth(std::max(sizeHint().width(), kMinimumWidth));
    layout()->activate();
    const int width = statusLine()->contentsRect().width();
    const QRect needed = statusLine()->fontMetrics().boundingRect(
        QRect(0, 0, width, 10000), Qt::TextWordWrap, cancelledText(Job::Download));
    statusLine()->setMinimumHeight(
        std::max(needed.height(), 2 * statusLine()->fontMetrics().height()));
    setFixedSize(this->width(), sizeHint().height());
}

void CfenwaldDlg::ShowPort() {
    const std::string name = serial::currentPortName();
    const QString port =
        name.empty() ? QStringLiteral("COM%1 (not found)").arg(settings_.port) : shown(name);
    portLabel()->setText(QStringLiteral("Port: %1").arg(port));
}

// ---- commands ----

void CfenwaldDlg::OnCommand(int id) {
    if (closing_) return;
    if (id >= kFirstIrda && id <= kLastIrda) {
        settings_.irda = id - kFirstIrda;
        RefreshMenus();
        return;
    }
    if (id >= kFirstPort && id <= kLastPort) {
        settings_.port = id - kFirstPort + 1;
        RefreshMenus();
        return;
    }
    switch (id) {
        case kDownload:
            if (!RefusedWhileBusy()) OnFileOpen();
            break;
        case kDownloadAgain:
            if (RefusedWhileBusy()) break;
            if (fileName_.empty())
                OnFileOpen();
            else
                StartDownload();
            break;
        case kCancel:
            CancelJob();
            break;
        case kExit:
            done(0);
            break;
        case kAbout: {
            FenwaldAbout about(this);
            about.exec();
            break;
        }
        case kShowRs232: {
            if (RefusedWhileBusy()) break;
            ShowRS232 monitor(settings_, this, registry_);
            monitor.exec();
            RefreshMenus();  // the monitor may have changed the port and the IrDA type
            break;
        }
        case kShowVersions:
            StartLoaderJob(Job::Versions, &CGantry1::ShowVersions);
            break;
        case kSendTime:
            StartLoaderJob(Job::Time, &CGantry1::SendTime);
            break;
        case kSendConfiguration:
            if (RefusedWhileBusy()) break;  // the dialog would need the line
            OpenConfigurationDialog(false);
            RefreshMenus();
            break;
        default:
            break;  // a port above 255, or nothing of ours
    }
}

void CfenwaldDlg::OnFileOpen() {
    serial::ui::FileDialogRequest request;
    request.parent = this;
    request.proposedPath = QFile::decodeName(fileName_.c_str());
    request.filter = kFirmwareFilter;
    auto chosen = serial::ui::askFileName(request);
    if (!chosen) return;
    fileName_ = QFile::encodeName(*chosen).toStdString();
    StartDownload();
}

bool CfenwaldDlg::LoaderMissing() {
    if (loader_.created()) return false;
    serial::ui::showMessageBox(this, local(loader_.creationError()), QStringLiteral("Error"),
                               QMessageBox::Critical);
    return true;
}

bool CfenwaldDlg::RefusedWhileBusy() {
    if (!Busy()) return false;
    serial::ui::showMessageBox(this, kBusyRefusal, QString(), QMessageBox::Information);
    return true;
}

// Busy from here until the job's ending status: the loader would queue a second job behind
// this one, holding the line.
bool CfenwaldDlg::StartJob(Job job) {
    if (closing_ || RefusedWhileBusy() || LoaderMissing()) return false;
    job_ = job;
    cancelRequested_ = false;
    EnableMenus(false);
    statusLine()->clear();  // the last outcome goes as the next job starts
    cancelButton()->show();
    ShowLoaderPicture();
    loader_.SetPort(static_cast<std::int16_t>(settings_.port));
    loader_.SetIrdaType(settings_.irda);
    return true;
}

void CfenwaldDlg::StartDownload() {
    if (!StartJob(Job::Download)) return;
    progressBar()->setRange(0, 100);
    progressBar()->setValue(0);
    progressBar()->show();
    statusLine()->setText(QStringLiteral("0 % ready"));
    loader_.SetFileName(fileName_);
    loader_.Download();
    RedrawNow();
}

void CfenwaldDlg::StartLoaderJob(Job job, void (CGantry1::*method)()) {
    if (!StartJob(job)) return;
    (loader_.*method)();
    RedrawNow();
}

void CfenwaldDlg::CancelJob() {
    if (!Busy() || cancelRequested_) return;
    cancelRequested_ = true;
    loader_.cancel();
    statusLine()->setText(cancelledText(job_));
    EnableMenus(false);  // Cancel once
    RedrawNow();
}

void CfenwaldDlg::EndJob() {
    job_ = Job::None;
    cancelRequested_ = false;
    EnableMenus(true);
    cancelButton()->hide();
    ShowLoaderPicture();
}

void CfenwaldDlg::OpenConfigurationDialog(bool loadOnOpen) {
    if (closing_) return;
    opener_(*this, loadOnOpen);
}

// ---- the loader's reports ----

void CfenwaldDlg::OnStatus(const fenwald::GantryStatus& s) {
    namespace gantry = fenwald::gantry;
    if (closed_) return;  // a job that outlived the wait; the window is gone
    progressBar()->setValue(s.percent);
    // After Cancel the status line keeps saying so until the job has ended.
    if (!cancelRequested_) statusLine()->setText(QString::asprintf("%i %% ready", s.percent));
    if (s.code <= gantry::kProgressOnlyLast) return;
    if (s.code >= 2000) {
        if (!cancelRequested_ && s.code != gantry::kProgress && s.code != 2020)
            statusLine()->setText(shown(s.message));
        RedrawNow();
        return;
    }
    const auto box = [&] {
        if (gantry::isError(s.code))
            serial::ui::showMessageBox(this, shown(s.message), QStringLiteral("Error"),
                                       QMessageBox::Critical);
        else
            serial::ui::showMessageBox(this, shown(s.message), QStringLiteral("Info"));
    };
    if (!gantry::endsOperation(s.code)) {
        if (closing_) return;
        box();
        SetIdle();
        return;
    }
    const Job ended = job_;
    const bool cancelled = cancelRequested_ && s.code == gantry::status::kCancelled;
    EndJob();
    progressBar()->hide();
    if (closing_) return FinishClose();
    // The outcome stays on the status line until the next job, behind its box too.
    statusLine()->setText(cancelled ? cancelledText(ended) : shown(s.message));
    RedrawNow();
    if (!cancelled) box();  // the user asked for that one
}

void CfenwaldDlg::SetIdle() {
    statusLine()->clear();
    progressBar()->hide();
    RedrawNow();
}

void CfenwaldDlg::RedrawNow() {
    update();
    repaint();
}

void CfenwaldDlg::ShowLoaderPicture() {
    QPixmap picture;
    const auto png = loader_.picturePng(Busy());
    if (!png.empty()) picture.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG");
    loaderControl()->setPixmap(picture);
}

// ---- drops, keys, painting, closing ----

void CfenwaldDlg::DropFiles(const QStringList& paths) {
    if (closing_ || RefusedWhileBusy()) return;  // the remembered name stays too
    fileName_.clear();
    if (paths.size() == 1) {
        fileName_ = QFile::encodeName(paths.front()).toStdString().substr(0, kMaxDroppedPath);
    } else {
        serial::ui::showMessageBox(this, kTooManyFiles, QStringLiteral("Error"),
                                   QMessageBox::Critical);
    }
    if (fileName_.empty()) return;
    if (fenwald::isConfigurationFile(fileName_)) {
        configurationPath_ = fileName_;
        OpenConfigurationDialog(true);
    } else {
        StartDownload();
    }
}

void CfenwaldDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CfenwaldDlg::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    // After the drop has been released to its source, as the system does.
    QTimer::singleShot(0, this, [this, paths] { DropFiles(paths); });
}

void CfenwaldDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;  // not a close
    // During a job Esc is Cancel (the shortcut, when it comes as one), never a close.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && Busy()) {
        CancelJob();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CfenwaldDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    if (!openConfigurationOnPaint_) return;
    openConfigurationOnPaint_ = false;
    // Not inside the paint: a modal dialog runs its own loop.
    QTimer::singleShot(0, this, [this] { OpenConfigurationDialog(true); });
}

void CfenwaldDlg::done(int) {
    if (closing_ || asking_) return;
    if (job_ == Job::Download && askBeforeClosing_) {
        asking_ = true;
        const auto answer =
            serial::ui::showMessageBox(this, kExitDuringInstallation, QString(),
                                       QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No);
        asking_ = false;
        if (answer != QMessageBox::Yes) return;
    }
    BeginClose();  // a signal may have begun it meanwhile; then this does nothing
}

void CfenwaldDlg::CloseWithoutAsking() {
    askBeforeClosing_ = false;
    BeginClose();
}

void CfenwaldDlg::BeginClose() {
    if (closing_) return;
    closing_ = true;
    if (!Busy()) return FinishClose();
    // The loader's last status ends the wait (OnStatus), or the timer does.
    CancelJob();
    cancelWait_.start(kCancelWait);
}

void CfenwaldDlg::FinishClose() {
    if (closed_) return;
    closed_ = true;
    cancelWait_.stop();
    watcher_.stop();
    if (auto failed = fenwald::saveSettings(settingsFile_, settings_))
        serial::ui::showMessageBox(this,
                                   local(platform::cannotWriteText(
                                       serial::namedControlBytes(settingsFile_.path()), *failed)),
                                   QStringLiteral("Error"), QMessageBox::Critical);
    QDialog::done(0);
}
