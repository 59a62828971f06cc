#include "installer/ui/configure_scanner.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <algorithm>

#include "installer/ui/program_artwork.h"
#include "serial/port_discovery.h"
#include "serial/ui/dialog_seams.h"
#include "ui_configure_about.h"
#include "ui_configure_scanner.h"

using fenwald::ConfigurationMessage;
using fenwald::ScannerConnection;

namespace {

constexpr int kLampSize = 16;
constexpr int kLogoHeight = 60;
const QString kConfigurationFilter = QStringLiteral("Configuration Files: (*.vsc)");
const QString kTooManyFiles = QStringLiteral("Too much files dropped!!!");

ConfigureScanner::LockKeysFactory& lockKeysFactory() {
    static ConfigureScanner::LockKeysFactory factory;
    return factory;
}
ConfigureScanner::IndicatorPause& indicatorPause() {
    static ConfigureScanner::IndicatorPause pause;
    return pause;
}
ConfigureScanner::UrlOpener& urlOpener() {
    static ConfigureScanner::UrlOpener opener;
    return opener;
}

QString local(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}

QPixmap lamp(bool on) {
    const qreal ratio = qApp->devicePixelRatio();
    QPixmap p(QSize(kLampSize, kLampSize) * ratio);
    p.setDevicePixelRatio(ratio);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.setBrush(on ? QColor(0, 190, 0) : QColor(220, 0, 0));
    painter.drawEllipse(QRectF(1.5, 1.5, kLampSize - 3, kLampSize - 3));
    return p;
}

QMessageBox::Icon iconOf(platform::Report::Severity severity) {
    switch (severity) {
        case platform::Report::Severity::Information:
            return QMessageBox::Information;
        case platform::Report::Severity::Warning:
            return QMessageBox::Warning;
        default:
            return QMessageBox::Critical;
    }
}

}  // namespace

// ---- the about box ----

namespace fenwald::ui {

CAboutDlg::CAboutDlg(QWidget* parent)
    : AboutBox(artwork(), parent), ui_(std::make_unique<Ui::CAboutDlg>()) {
    ui_->setupUi(this);
    ui_->iconLabel->setPixmap(artwork().programIcon().pixmap(32, 32));
    finishSetUp(*ui_);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace fenwald::ui

// ---- seams ----

void ConfigureScanner::setLockKeysFactory(LockKeysFactory factory) {
    lockKeysFactory() = std::move(factory);
}
void ConfigureScanner::setIndicatorPause(IndicatorPause pause) {
    indicatorPause() = std::move(pause);
}
void ConfigureScanner::setUrlOpener(UrlOpener opener) {
    urlOpener() = std::move(opener);
}

// ---- opening ----

ConfigureScanner::ConfigureScanner(std::string& configurationPath, bool loadOnOpen, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::ConfigureScanner>()),
      configurationPath_(configurationPath),
      watcher_([this](const platform::PortChange& change) {
          // The watcher's thread: the list belongs to the GUI thread.
          QMetaObject::invokeMethod(
              this,
              [this, change] {
                  if (change.kind == platform::PortChange::Removal)
                      OnPortRemoved(change.number);
                  else
                      RefreshPortList();
              },
              Qt::QueuedConnection);
      }) {
    ui_->setupUi(this);
    setWindowIcon(fenwald::ui::artwork().programIcon());
    BuildMenus();
    ui_->logo->setPixmap(
        fenwald::ui::artwork().aboutBitmap().scaledToHeight(kLogoHeight, Qt::SmoothTransformation));
    ui_->lamp->setPixmap(lamp(false));
    QSizePolicy p = ui_->hidProgress->sizePolicy();
    p.setRetainSizeWhenHidden(true);
    ui_->hidProgress->setSizePolicy(p);
    ui_->hidProgress->hide();

    connect(ui_->scannerList, &QComboBox::activated, this, [this] { SelectPort(); });
    connect(ui_->browseButton, &QPushButton::clicked, this, &ConfigureScanner::OnBrowse);
    connect(ui_->configureButton, &QPushButton::clicked, this, &ConfigureScanner::Configure);
    connect(ui_->exitButton, &QPushButton::clicked, this, [this] { done(0); });
    connect(ui_->makePermanentBox, &QCheckBox::clicked, this, [this](bool on) { permanent_ = on; });
    connect(ui_->hidBox, &QCheckBox::clicked, this, &ConfigureScanner::SetHidMode);

    RefreshPortList();
    ui_->makePermanentBox->setChecked(true);
    permanent_ = true;
    if (loadOnOpen) LoadConfigurationFile();
    setFixedSize(sizeHint());
    watcher_.start();
}

ConfigureScanner::~ConfigureScanner() {
    cancel_.set();
    watcher_.stop();
    job_.stop();
    if (busy_) QApplication::restoreOverrideCursor();
    port_.Close();
}

QComboBox* ConfigureScanner::scannerList() const {
    return ui_->scannerList;
}
QLabel* ConfigureScanner::comPortLabel() const {
    return ui_->comPortLabel;
}
QLabel* ConfigureScanner::baudRateLabel() const {
    return ui_->baudRateLabel;
}
QLabel* ConfigureScanner::fileNameLabel() const {
    return ui_->fileNameLabel;
}
QLabel* ConfigureScanner::configurationStatus() const {
    return ui_->configurationStatus;
}
QPushButton* ConfigureScanner::configureButton() const {
    return ui_->configureButton;
}
QCheckBox* ConfigureScanner::makePermanentBox() const {
    return ui_->makePermanentBox;
}
QCheckBox* ConfigureScanner::hidBox() const {
    return ui_->hidBox;
}
QProgressBar* ConfigureScanner::hidProgress() const {
    return ui_->hidProgress;
}

void ConfigureScanner::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);
    // Shortcuts of the window's own actions: they act only while it is the active window.
    auto add = [this](QMenu* menu, const QString& text, const QKeySequence& key, auto slot) {
        QAction* a = menu->addAction(text);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            a->setShortcutContext(Qt::WindowShortcut);
            addAction(a);
        }
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    refusedWhileBusy_.push_back(add(file, QStringLiteral("&New"),
                                    QKeySequence(Qt::CTRL | Qt::Key_N), &ConfigureScanner::OnNew));
    open_ = add(file, QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O),
                &ConfigureScanner::OnBrowse);
    refusedWhileBusy_.push_back(open_);
    add(file, QStringLiteral("&Exit"), QKeySequence(Qt::ALT | Qt::Key_X), [this] { done(0); });
    QMenu* about = menuBar_->addMenu(QStringLiteral("&About"));
    refusedWhileBusy_.push_back(add(about, QStringLiteral("About Configure Scanner"),
                                    QKeySequence(), &ConfigureScanner::OnAbout));
    refusedWhileBusy_.push_back(
        add(about, QString::fromLatin1(kMainSiteItem), QKeySequence(), &ConfigureScanner::OnVisit));
}

// ---- the scanner list and the connection ----

void ConfigureScanner::RefreshPortList() {
    if (closing_) return;
    if (busy_) {
        refreshAfterJob_ = true;
        return;
    }
    std::vector<SSerInfo> records;
    ListSerialPorts(records, false);
    QStringList names;
    for (const auto& r : records) names << local(r.friendlyName);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return QString::compare(a, b, Qt::CaseInsensitive) < 0;
    });
    ui_->scannerList->clear();
    ui_->scannerList->addItems(names);
    ui_->scannerList->setCurrentIndex(-1);

    CloseLine();
    if (rememberedPort_.empty()) rememberedPort_ = serial::currentPortName();
    std::vector<std::string> entries;
    for (const QString& n : names) entries.push_back(n.toLocal8Bit().toStdString());
    auto found = fenwald::findPortEntry(entries, rememberedPort_);
    if (found && !hid_) {
        ui_->scannerList->setCurrentIndex(static_cast<int>(*found));
        SelectPort();
    } else {
        rememberedPort_.clear();
        CloseLine();
        ResetConnection();
    }
}

void ConfigureScanner::SelectPort() {
    if (busy_ || closing_) return;
    rememberedPort_ = ui_->scannerList->currentText().toLocal8Bit().toStdString();
    portNumber_ = fenwald::portNumberOfEntry(rememberedPort_);
    StartJob(JobResult::Kind::Detect, [this, n = portNumber_](JobResult& r) {
        r.connection = fenwald::DetectScannerRate(port_, n, &cancel_);
    });
}

void ConfigureScanner::ShowDetection(const ScannerConnection& c) {
    if (c.message) {
        ResetConnection();
        ui_->scannerList->setCurrentIndex(-1);
        Message(*c.message);
    } else if (c.found) {
        ShowConnection(c);
        ui_->configureButton->setEnabled(loaded_);
    } else {
        ResetConnection();
        // Still no message box, but blank labels would look as if nothing had been tried.
        if (!c.cancelled && c.port > 0) {
            ui_->comPortLabel->setText(QString::fromStdString(c.portLabel()));
            ui_->baudRateLabel->setText(
                QString::fromLatin1(fenwald::kNoScannerFound.data(),
                                    static_cast<qsizetype>(fenwald::kNoScannerFound.size())));
        }
    }
}

void ConfigureScanner::ShowConnection(const ScannerConnection& c) {
    connected_ = true;
    ui_->lamp->setPixmap(lamp(true));
    ui_->comPortLabel->setText(QString::fromStdString(c.portLabel()));
    ui_->baudRateLabel->setText(QString::fromStdString(c.rateLabel()));
}

void ConfigureScanner::ResetConnection() {
    connected_ = false;
    ui_->lamp->setPixmap(lamp(false));
    ui_->comPortLabel->clear();
    ui_->baudRateLabel->clear();
    if (!hid_) ui_->configureButton->setEnabled(false);
}

void ConfigureScanner::CloseLine() {
    port_.Close();
    lineOpen_ = false;
}

void ConfigureScanner::OnPortRemoved(int number) {
    if (closing_) return;
    if (busy_) {
        removedDuringJob_ = number;
        return;
    }
    if (lineOpen_ && number == portNumber_) CloseLine();
    RefreshPortList();
}

// ---- the configuration ----

void ConfigureScanner::LoadConfigurationFile() {
    fenwald::ConfigurationLoad load = fenwald::LoadConfigurationFile(configurationPath_);
    if (!load.ok) {
        if (load.message) Message(*load.message);
        return;
    }
    configuration_ = load.configuration;
    loaded_ = true;
    ui_->configurationStatus->setText(QString::fromLatin1(fenwald::kConfigurationFound.data(),
                                                          fenwald::kConfigurationFound.size()));
    ui_->fileNameLabel->setText(local(load.fileName));
    ui_->configureButton->setEnabled(!busy_ && (lineOpen_ || hid_));
}

void ConfigureScanner::Configure() {
    if (busy_ || closing_) return;
    const std::string configuration = configuration_;
    const bool permanent = permanent_;
    if (hid_) {
        ui_->hidProgress->setRange(0, 100);
        ui_->hidProgress->setValue(0);
        ui_->hidProgress->show();
        StartJob(JobResult::Kind::Hid, [this, configuration, permanent](JobResult& r) {
            // The keys belong to the thread that drives them.
            auto keys = lockKeysFactory() ? lockKeysFactory()() : platform::systemLockKeys();
            fenwald::HidConfigurationOptions options;
            options.cancel = &cancel_;
            options.pause = indicatorPause();
            options.progress = [this](std::size_t done, std::size_t total) {
                QMetaObject::invokeMethod(
                    this,
                    [this, done, total] {
                        ui_->hidProgress->setRange(0, static_cast<int>(total));
                        ui_->hidProgress->setValue(static_cast<int>(done));
                    },
                    Qt::QueuedConnection);
            };
            r.hid = fenwald::SendConfigurationHid(*keys, configuration, permanent, options);
        });
        return;
    }
    StartJob(JobResult::Kind::Serial,
             [this, configuration, permanent, n = portNumber_](JobResult& r) {
                 r.serial = fenwald::SendConfigurationSerial(
                     port_, configuration, permanent,
                     [this](std::chrono::milliseconds wait) { cancel_.pause(wait); });
                 // The new configuration may have changed the scanner's rate.
                 if (r.serial->accepted && !cancel_.isSet())
                     r.connection = fenwald::DetectScannerRate(port_, n, &cancel_);
             });
}

void ConfigureScanner::SetHidMode(bool on) {
    if (busy_) return;
    hid_ = on;
    ui_->hidBox->setChecked(on);
    if (on) {
        CloseLine();
        ResetConnection();
        ui_->scannerList->setEnabled(false);
        ui_->configureButton->setEnabled(loaded_);
    } else {
        ui_->scannerList->setEnabled(true);
        ui_->configureButton->setEnabled(false);
        if (!rememberedPort_.empty()) SelectPort();
    }
}

// ---- the job ----

void ConfigureScanner::StartJob(JobResult::Kind kind, std::function<void(JobResult&)> body) {
    cancel_.reset();
    SetBusy(true);
    lineOpen_ = false;  // the worker's until it is done
    const bool started = job_.start([this, kind, body = std::move(body)](std::stop_token) {
        JobResult r;
        r.kind = kind;
        try {
            body(r);
        } catch (const CSerialException& e) {
            r.lineFailure = QString::fromLocal8Bit(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, r] { JobEnded(r); }, Qt::QueuedConnection);
    });
    if (!started) {
        JobResult r;
        r.kind = kind;
        r.lineFailure = QStringLiteral("The configuration cannot start its thread: %1")
                            .arg(QString::fromStdString(job_.startFailure().text));
        JobEnded(r);
    }
}

void ConfigureScanner::SetBusy(bool on) {
    if (on == busy_) return;
    busy_ = on;
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    for (QWidget* w :
         {static_cast<QWidget*>(ui_->selectGroup), static_cast<QWidget*>(ui_->informationGroup),
          static_cast<QWidget*>(ui_->makePermanentBox), static_cast<QWidget*>(ui_->hidBox)})
        w->setEnabled(!on);
    for (QAction* a : refusedWhileBusy_) a->setEnabled(!on);
    if (on) ui_->configureButton->setEnabled(false);
}

void ConfigureScanner::JobEnded(const JobResult& r) {
    job_.waitForEnd(std::chrono::milliseconds(-1));  // its body is returning
    if (closing_) return;
    SetBusy(false);
    lineOpen_ = port_.IsOpen();
    if (r.lineFailure) {
        CloseLine();
        ResetConnection();
        ui_->hidProgress->hide();
        serial::ui::showMessageBox(this, *r.lineFailure, QString(), QMessageBox::Critical);
    } else {
        switch (r.kind) {
            case JobResult::Kind::Detect:
                ShowDetection(r.connection);
                break;
            case JobResult::Kind::Serial:
                if (r.serial->accepted) ShowDetection(r.connection);
                ui_->configureButton->setEnabled(loaded_ && (lineOpen_ || hid_));
                Message(r.serial->message);
                break;
            case JobResult::Kind::Hid:
                ui_->hidProgress->hide();
                ui_->configureButton->setEnabled(loaded_);
                if (r.hid.message) Message(*r.hid.message);
                break;
        }
    }
    if (closing_) return;
    if (auto removed = std::exchange(removedDuringJob_, std::nullopt)) {
        refreshAfterJob_ = false;
        OnPortRemoved(*removed);
    } else if (std::exchange(refreshAfterJob_, false)) {
        RefreshPortList();
    }
}

// ---- files, drops, menus ----

void ConfigureScanner::Message(const ConfigurationMessage& m) {
    serial::ui::showMessageBox(this, local(m.text), local(m.caption), iconOf(m.severity));
}

void ConfigureScanner::OnBrowse() {
    if (busy_ || closing_) return;
    serial::ui::FileDialogRequest request;
    request.parent = this;
    request.filter = kConfigurationFilter;
    auto chosen = serial::ui::askFileName(request);
    if (!chosen) return;
    configurationPath_ = QFile::encodeName(*chosen).toStdString();
    LoadConfigurationFile();
}

void ConfigureScanner::DropFiles(const QStringList& paths) {
    if (busy_ || closing_) return;
    if (paths.size() == 1) {
        configurationPath_ = QFile::encodeName(paths.front()).toStdString();
        LoadConfigurationFile();
    } else if (paths.size() > 1) {
        serial::ui::showMessageBox(this, kTooManyFiles, QStringLiteral("Error"),
                                   QMessageBox::Critical);
    }
}

void ConfigureScanner::dragEnterEvent(QDragEnterEvent* event) {
    if (!busy_ && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void ConfigureScanner::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile()) paths << url.toLocalFile();
    event->acceptProposedAction();
    QMetaObject::invokeMethod(
        this, [this, paths] { DropFiles(paths); }, Qt::QueuedConnection);
}

void ConfigureScanner::OpenUrl(const char* address) {
    const QString url = QString::fromLatin1(address);
    if (urlOpener())
        urlOpener()(url);
    else
        QDesktopServices::openUrl(QUrl(url));
}

void ConfigureScanner::OnNew() {
    if (!busy_) OpenUrl(kConfigurationSite);
}

void ConfigureScanner::OnVisit() {
    if (!busy_) OpenUrl(kMainSite);
}

void ConfigureScanner::OnAbout() {
    if (busy_) return;
    fenwald::ui::CAboutDlg about(this);
    about.exec();
}

// ---- leaving ----

void ConfigureScanner::done(int result) {
    if (closing_) return;
    closing_ = true;
    cancel_.set();
    watcher_.stop();
    job_.stop();
    SetBusy(false);
    ResetConnection();
    rememberedPort_.clear();
    CloseLine();
    QDialog::done(result);
}
