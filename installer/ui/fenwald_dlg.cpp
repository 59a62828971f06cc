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
#include <QTimer>

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
    ShowLoaderPicture();
    setFixedSize(sizeHint().expandedTo(QSize(420, 0)));
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
}

void CfenwaldDlg::EnableMenus(bool on) {
    for (QAction* top : menuBar_->actions()) {
        const QString t = top->text();
        if (t != kFileMenu && t != kUtilitiesMenu && t != kSettingsMenu) continue;
        top->setEnabled(on);
        // Their shortcuts too: Ctrl+D during a download would start a second one.
        for (QAction* item : top->menu()->actions()) item->setEnabled(on);
    }
    menuBar_->update();
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
            OnFileOpen();
            break;
        case kDownloadAgain:
            if (fileName_.empty())
                OnFileOpen();
            else
                StartDownload();
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
            ShowRS232 monitor(settings_, this, registry_);
            monitor.exec();
            RefreshMenus();  // the monitor may have changed the port and the IrDA type
            break;
        }
        case kShowVersions:
            StartLoaderJob(&CGantry1::ShowVersions);
            break;
        case kSendTime:
            StartLoaderJob(&CGantry1::SendTime);
            break;
        case kSendConfiguration:
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

void CfenwaldDlg::StartDownload() {
    if (busy_ || closing_ || LoaderMissing()) return;
    busy_ = true;
    EnableMenus(false);
    progressBar()->setRange(0, 100);
    progressBar()->setValue(0);
    progressBar()->show();
    statusLine()->setText(QStringLiteral("0 % ready"));
    loader_.SetPort(static_cast<std::int16_t>(settings_.port));
    loader_.SetIrdaType(settings_.irda);
    loader_.SetFileName(fileName_);
    loader_.Download();
    ShowLoaderPicture();
    RedrawNow();
}

void CfenwaldDlg::StartLoaderJob(void (CGantry1::*job)()) {
    if (LoaderMissing()) return;
    loader_.SetPort(static_cast<std::int16_t>(settings_.port));
    loader_.SetIrdaType(settings_.irda);
    (loader_.*job)();
}

void CfenwaldDlg::OpenConfigurationDialog(bool loadOnOpen) {
    if (closing_) return;
    opener_(*this, loadOnOpen);
}

// ---- the loader's reports ----

void CfenwaldDlg::OnStatus(const fenwald::GantryStatus& s) {
    namespace gantry = fenwald::gantry;
    progressBar()->setValue(s.percent);
    statusLine()->setText(QString::asprintf("%i %% ready", s.percent));
    if (s.code <= gantry::kProgressOnlyLast) return;
    if (s.code < 2000) {
        const bool ends = gantry::endsOperation(s.code);
        if (ends) {
            EnableMenus(true);
            busy_ = false;
            ShowLoaderPicture();
        }
        if (gantry::isError(s.code))
            serial::ui::showMessageBox(this, shown(s.message), QStringLiteral("Error"),
                                       QMessageBox::Critical);
        else
            serial::ui::showMessageBox(this, shown(s.message), QStringLiteral("Info"));
        SetIdle();
        return;
    }
    if (s.code != gantry::kProgress && s.code != 2020) statusLine()->setText(shown(s.message));
    RedrawNow();
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
    const auto png = loader_.picturePng(busy_);
    if (!png.empty()) picture.loadFromData(png.data(), static_cast<uint>(png.size()), "PNG");
    loaderControl()->setPixmap(picture);
}

// ---- drops, keys, painting, closing ----

void CfenwaldDlg::DropFiles(const QStringList& paths) {
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
    if (closing_) return;
    closing_ = true;
    watcher_.stop();
    if (auto failed = fenwald::saveSettings(settingsFile_, settings_))
        serial::ui::showMessageBox(this,
                                   local(platform::cannotWriteText(
                                       serial::namedControlBytes(settingsFile_.path()), *failed)),
                                   QStringLiteral("Error"), QMessageBox::Critical);
    QDialog::done(0);
}
