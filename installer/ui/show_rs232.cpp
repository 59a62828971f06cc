#include "installer/ui/show_rs232.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <array>

#include "installer/engine/transfer_interface.h"
#include "installer/ui/fenwald_about.h"
#include "installer/ui/folder_dialog.h"
#include "installer/ui/program_artwork.h"
#include "platform/folders.h"
#include "serial/display_text.h"
#include "serial/ui/dialog_seams.h"
#include "serial/ui/port_menu.h"
#include "serial/ui/prog_status_bar.h"
#include "ui_show_rs232.h"

namespace {

using fenwald::MonitorEvent;

constexpr std::array<int, 8> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
const QString kSettingsMenu = QStringLiteral("&Settings");
const QString kAllFilesFilter = QStringLiteral("All files (*)");
const QString kRtfFilter = QStringLiteral("Rich text files (*.rtf)");
const QString kFolderTitle = QStringLiteral("Select folder to store Vesk file");
const QString kProtocolRunning = QStringLiteral("Protocol is already running");
const QString kWaitingForReceiver = QStringLiteral("Waiting for the receiver\u2026");
const QString kWaitingForSender = QStringLiteral("Waiting for the sender\u2026");
const QString kCloseDuringTransfer =
    QStringLiteral("A file transfer is running.\nCancel it and close the monitor?");
constexpr int kPaneWidth = 30;
constexpr int kTerminalPoints = 10;
// The component closes the port just after its last report.
constexpr int kReopenDelayMs = 100;

int baudCommand(int rate) {
    for (std::size_t i = 1; i < kBaudRates.size(); ++i)
        if (kBaudRates[i] == rate) return ShowRS232::kFirstBaud + static_cast<int>(i) - 1;
    return rate == 1200 ? ShowRS232::kBaud1200 : 0;
}

QString local(const std::string& text) {
    return QString::fromLocal8Bit(text.c_str());
}
QString local(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}
std::string path8(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QFont terminalFont() {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(kTerminalPoints);
    return font;
}

}  // namespace

ShowRS232::ShowRS232(fenwald::FenwaldSettings& settings, QWidget* parent,
                     std::optional<platform::ComponentRegistry> registry,
                     platform::ModemLines* modemLines)
    : QDialog(parent),
      ui_(std::make_unique<Ui::ShowRS232>()),
      settings_(settings),
      engine_(std::make_unique<fenwald::MonitorEngine>(modemLines)),
      transfer_(registry ? *registry
                         : platform::ComponentRegistry(platform::componentRegistryPath())),
      transferDrain_(transfer_.events(),
                     [this](platform::ComponentEvent& e) { OnTransferEvent(e); }),
      watcher_([this](const platform::PortChange& change) {
          // The watcher's thread: the line and the menus are the GUI thread's.
          QMetaObject::invokeMethod(
              this, [this, change] { OnPortChange(change); }, Qt::QueuedConnection);
      }) {
    ui_->setupUi(this);
    setWindowIcon(fenwald::ui::artwork().programIcon());
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    BuildMenus();

    terminal_ = new CMyEdit(this, this);
    terminal_->installEventFilter(this);
    terminal_->setObjectName(QStringLiteral("terminal"));
    terminal_->setFont(terminalFont());
    terminal_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    layout()->addWidget(terminal_);

    statusBar_ = new CProgStatusBar(this);
    for (const char* lamp : {"CTS", "RTS", "DSR", "DTR"})
        statusBar_->AddPane(QString::fromLatin1(lamp), kPaneWidth);
    statusBar_->AddPane(QString(), 0);
    layout()->addWidget(statusBar_);
    SetLamps({});

    drain_.emplace(engine_->events(), [this](MonitorEvent& e) { OnEvent(e); });
    ApplySettings();
    terminal_->setFocus();
    watcher_.start();
}

ShowRS232::~ShowRS232() {
    watcher_.stop();
    transferDrain_.detach();
    drain_.reset();
    engine_.reset();
}

QAction* ShowRS232::action(int id) const {
    auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : it->second;
}

bool ShowRS232::lampOn(Pane pane) const {
    return statusBar_->pane(pane)->isEnabled();
}

// ---- menus ----

QMenu* ShowRS232::AddMenu(QMenu* parent, const QString& text) {
    QMenu* menu = parent ? parent->addMenu(text) : menuBar_->addMenu(text);
    menus_.push_back(menu);
    // Bytes that come while any of them is open wait for it to close.
    connect(menu, &QMenu::aboutToShow, this, &ShowRS232::MenuShown);
    connect(menu, &QMenu::aboutToHide, this, &ShowRS232::MenuHidden);
    return menu;
}

QAction* ShowRS232::AddCommand(QMenu* menu, const QString& text, int id,
                               const QKeySequence& shortcut, bool checkable) {
    QAction* a = menu->addAction(text);
    a->setData(id);
    a->setCheckable(checkable);
    if (!shortcut.isEmpty()) {
        a->setShortcut(shortcut);
        addAction(a);  // wherever the focus is in the window
    }
    connect(a, &QAction::triggered, this, [this, id] { OnCommand(id); });
    commands_[id] = a;
    return a;
}

void ShowRS232::BuildMenus() {
    menuBar_ = new QMenuBar(this);
    layout()->setMenuBar(menuBar_);

    QMenu* file = AddMenu(nullptr, QStringLiteral("&File"));
    AddCommand(file, QStringLiteral("&Save"), kSave);
    AddCommand(file, QStringLiteral("Save &as"), kSaveAs);
    QMenu* transfer = AddMenu(file, QStringLiteral("Transfer"));
    AddCommand(transfer, QStringLiteral("Transmit Text file"), kTransmitText);
    AddCommand(transfer, QStringLiteral("Transmit Vesk file"), kTransmitVesk);
    AddCommand(transfer, QStringLiteral("Receive Vesk file"), kReceiveVesk);
    // Esc is the terminal's key; while a transfer runs it cancels (eventFilter, keyPressEvent).
    AddCommand(transfer, QStringLiteral("Cancel transfer\tEsc"), kCancelTransfer)
        ->setEnabled(false);
    AddCommand(file, QStringLiteral("&Exit\tAlt+X"), kExit, QKeySequence(Qt::ALT | Qt::Key_X));

    // Cut and copy keys are the terminal's own; the items only name them.
    QMenu* edit = AddMenu(nullptr, QStringLiteral("&Edit"));
    AddCommand(edit, QStringLiteral("Cut\tShift+Del"), kCut);
    AddCommand(edit, QStringLiteral("Copy\tCtrl+Ins"), kCopy);
    AddCommand(edit, QStringLiteral("Paste\tShift+Ins"), kPaste,
               QKeySequence(Qt::SHIFT | Qt::Key_Insert));
    AddCommand(edit, QStringLiteral("Select all"), kSelectAll);
    AddCommand(edit, QStringLiteral("Clear Screen\tF1"), kClearScreen);
    AddCommand(edit, QStringLiteral("Toggle RTS\tAlt+R"), kToggleRts,
               QKeySequence(Qt::ALT | Qt::Key_R));
    AddCommand(edit, QStringLiteral("Toggle DTR\tAlt+D"), kToggleDtr,
               QKeySequence(Qt::ALT | Qt::Key_D));

    settingsMenu_ = AddMenu(nullptr, kSettingsMenu);
    portMenu_ = AddMenu(settingsMenu_, QStringLiteral("Port"));
    portMenu_->addAction(QStringLiteral("COM"))->setData(kFirstPort);
    connect(portMenu_, &QMenu::triggered, this,
            [this](QAction* a) { OnCommand(a->data().toInt()); });
    QMenu* baud = AddMenu(settingsMenu_, QStringLiteral("Baudrate"));
    for (int rate : kBaudRates)
        AddCommand(baud, QString::number(rate), baudCommand(rate), {}, true);
    QMenu* databits = AddMenu(settingsMenu_, QStringLiteral("Databits"));
    AddCommand(databits, QStringLiteral("7"), kDatabits7, {}, true);
    AddCommand(databits, QStringLiteral("8"), kDatabits8, {}, true);
    QMenu* parity = AddMenu(settingsMenu_, QStringLiteral("Parity"));
    AddCommand(parity, QStringLiteral("None"), kParityNone, {}, true);
    AddCommand(parity, QStringLiteral("Even"), kParityEven, {}, true);
    AddCommand(parity, QStringLiteral("Odd"), kParityOdd, {}, true);
    QMenu* stopbits = AddMenu(settingsMenu_, QStringLiteral("Stopbits"));
    AddCommand(stopbits, QStringLiteral("One"), kStopbitsOne, {}, true);
    AddCommand(stopbits, QStringLiteral("Two"), kStopbitsTwo, {}, true);
    QMenu* format = AddMenu(settingsMenu_, QStringLiteral("Format"));
    AddCommand(format, QStringLiteral("Normal"), kFirstFormat + serial::kFormatNormal, {}, true);
    AddCommand(format, QStringLiteral("ASCII"), kFirstFormat + serial::kFormatAscii, {}, true);
    AddCommand(format, QStringLiteral("HEX"), kFirstFormat + serial::kFormatHex, {}, true);
    QMenu* echo = AddMenu(settingsMenu_, QStringLiteral("Local echo"));
    AddCommand(echo, QStringLiteral("Off"), kEchoOff, {}, true);
    AddCommand(echo, QStringLiteral("On"), kEchoOn, {}, true);
    QMenu* irda = AddMenu(settingsMenu_, QStringLiteral("IrDA device"));
    for (int type = 0; type <= kLastIrda - kFirstIrda; ++type)
        AddCommand(irda, QString::fromLatin1(fenwald::irdaMonitorItem(type)), kFirstIrda + type, {},
                   true);

    QMenu* about = AddMenu(nullptr, QStringLiteral("About"));
    AddCommand(about, QStringLiteral("About"), kAbout);
}

void ShowRS232::PutCheckMarks() {
    auto check = [this](int first, int last, int chosen) {
        for (int id = first; id <= last; ++id)
            if (QAction* a = action(id)) a->setChecked(id == chosen);
    };
    check(kFirstBaud, kFirstBaud + 6, baudCommand(settings_.baudrate));
    action(kBaud1200)->setChecked(settings_.baudrate == 1200);
    check(kDatabits7, kDatabits8, settings_.databits == 7 ? kDatabits7 : kDatabits8);
    check(kParityNone, kParityOdd,
          settings_.parity == platform::parity::Even  ? kParityEven
          : settings_.parity == platform::parity::Odd ? kParityOdd
                                                      : kParityNone);
    check(kStopbitsOne, kStopbitsTwo,
          settings_.stopbits == platform::stopbits::Two ? kStopbitsTwo : kStopbitsOne);
    check(kFirstFormat, kFirstFormat + 2, kFirstFormat + settings_.format);
    check(kEchoOff, kEchoOn, settings_.localEcho ? kEchoOn : kEchoOff);
    check(kFirstIrda, kLastIrda, kFirstIrda + settings_.irda);
}

void ShowRS232::MenuShown() {
    terminal_->SetHeld(true);
}

void ShowRS232::MenuHidden() {
    // The one hiding may still count as visible while it goes.
    if (!MenuOpen(sender())) ReleaseHold();
}

bool ShowRS232::MenuOpen(const QObject* except) const {
    for (QMenu* m : menus_)
        if (m != except && m->isVisible()) return true;
    return false;
}

void ShowRS232::ReleaseHold() {
    terminal_->SetHeld(false);
    if (heldEnd_) {
        MonitorEvent end = std::move(*heldEnd_);
        heldEnd_.reset();
        // After the menu has gone, and after the bytes it held.
        QTimer::singleShot(0, this, [this, end] {
            terminal_->DrawPending();
            OnTextEnded(end);
        });
    }
}

// ---- settings ----

void ShowRS232::ApplySettings() {
    if (!engine_) return;
    BuildPortMenu(menuBar_, kFirstPort, settings_.port, serial::PortOrder::AsFound);
    fenwald::MonitorLineSettings line;
    line.port = settings_.port;
    line.baudRate = static_cast<unsigned>(settings_.baudrate);
    line.dataBits = static_cast<std::uint8_t>(settings_.databits);
    line.parity = static_cast<std::uint8_t>(settings_.parity);
    line.stopBits = static_cast<std::uint8_t>(settings_.stopbits);
    line.irda = settings_.irda;
    PutCheckMarks();
    fenwald::ApplyOutcome out = engine_->applyLine(line);

    settings_.irda = out.settings.irda;
    PutCheckMarks();
    if (!out.irdaTypeMessage.empty()) Error(local(out.irdaTypeMessage));
    if (!out.opened) {
        SetLamps({});
        Error(local(fenwald::kCannotOpenComPort));
        return;
    }
    if (!out.baudRateMessage.empty()) {
        settings_.baudrate = static_cast<int>(out.settings.baudRate);
        PutCheckMarks();
        Error(local(out.baudRateMessage));
    }
    if (!out.lineSet) Error(local(out.lineError.text));
    SetLamps(out.lamps);
}

void ShowRS232::OnPortChange(const platform::PortChange& change) {
    if (closing_ || !engine_) return;
    if (change.kind == platform::PortChange::Arrival) {
        // The port is the transfer component's until it has finished.
        if (!transferRunning_) ApplySettings();
        return;
    }
    if (change.number != settings_.port) return;
    engine_->portRemoved(change.number);
    SetLamps({});
    BuildPortMenu(menuBar_, kFirstPort, settings_.port, serial::PortOrder::AsFound);
}

// ---- commands ----

void ShowRS232::OnCommand(int id) {
    if (closing_) return;
    if (id >= kFirstPort && id <= kLastPort) {
        const int port = id - kFirstPort + 1;
        if (port == settings_.port) return;
        settings_.port = port;
        ApplySettings();  // closes the line on the old port, opens the new one
        return;
    }
    auto store = [this](int& setting, int value) {
        setting = value;
        ApplySettings();
    };
    if (id == kBaud1200) return store(settings_.baudrate, 1200);
    if (id >= kFirstBaud && id < kFirstBaud + 7)
        return store(settings_.baudrate, kBaudRates[static_cast<std::size_t>(id - kFirstBaud + 1)]);
    if (id == kDatabits7 || id == kDatabits8)
        return store(settings_.databits, id == kDatabits7 ? 7 : 8);
    if (id == kParityNone) return store(settings_.parity, platform::parity::None);
    if (id == kParityEven) return store(settings_.parity, platform::parity::Even);
    if (id == kParityOdd) return store(settings_.parity, platform::parity::Odd);
    if (id == kStopbitsOne) return store(settings_.stopbits, platform::stopbits::One);
    if (id == kStopbitsTwo) return store(settings_.stopbits, platform::stopbits::Two);
    if (id >= kFirstFormat && id <= kFirstFormat + 2)
        return store(settings_.format, id - kFirstFormat);
    if (id == kEchoOff || id == kEchoOn) return store(settings_.localEcho, id == kEchoOn ? 1 : 0);
    if (id >= kFirstIrda && id <= kLastIrda) return store(settings_.irda, id - kFirstIrda);

    switch (id) {
        case kSave:
            OnSave();
            break;
        case kSaveAs:
            OnSaveAs();
            break;
        case kTransmitText:
            OnTransmitText();
            break;
        case kTransmitVesk:
        case kReceiveVesk:
            OnVesk(id == kTransmitVesk);
            break;
        case kExit:
            done(0);
            break;
        case kCancelTransfer:
            // The component answers with its status, which reopens the line.
            if (transferRunning_) transfer_.cancel();
            break;
        case kCut:
            terminal_->cut();
            break;
        case kCopy:
            terminal_->copy();
            break;
        case kPaste:
            terminal_->PasteToLine();
            break;
        case kSelectAll:
            terminal_->selectAll();
            break;
        case kClearScreen:
            terminal_->ClearScreen();
            break;
        case kToggleRts:
            SetLamp(kRtsPane, engine_->toggleRts());
            break;
        case kToggleDtr:
            SetLamp(kDtrPane, engine_->toggleDtr());
            break;
        case kAbout: {
            FenwaldAbout about(this);
            about.exec();
            break;
        }
        default:
            break;  // a port above 255, or nothing of ours
    }
}

void ShowRS232::Error(const QString& text) {
    serial::ui::showMessageBox(this, text, QStringLiteral("Error"), QMessageBox::Critical);
}

// ---- the line ----

void ShowRS232::writeToLine(const std::uint8_t* data, std::size_t length) {
    if (engine_) engine_->write(data, length);
}
bool ShowRS232::textTransmissionActive() const {
    return engine_ && engine_->textTransmissionActive();
}
bool ShowRS232::localEcho() const {
    return settings_.localEcho != 0;
}
int ShowRS232::displayFormat() const {
    return settings_.format;
}

void ShowRS232::SetLamp(Pane pane, bool on) {
    statusBar_->SetPaneEnabled(pane, on);
}

void ShowRS232::SetLamps(const fenwald::LampStates& lamps) {
    SetLamp(kCtsPane, lamps.cts);
    SetLamp(kRtsPane, lamps.rts);
    SetLamp(kDsrPane, lamps.dsr);
    SetLamp(kDtrPane, lamps.dtr);
}

void ShowRS232::OnEvent(MonitorEvent& e) {
    // A hold whose menu went without a hide signal (a native menu bar's, say) would keep the
    // terminal blank for good.
    if (terminal_->Held() && !MenuOpen() && !QApplication::activePopupWidget()) ReleaseHold();
    switch (e.kind) {
        case MonitorEvent::Kind::Received:
        case MonitorEvent::Kind::Sent:
            terminal_->AppendBytes(e.bytes.data(), e.bytes.size(), serial::kColourBlue);
            break;
        case MonitorEvent::Kind::Cts:
            SetLamp(kCtsPane, e.value != 0);
            break;
        case MonitorEvent::Kind::Dsr:
            SetLamp(kDsrPane, e.value != 0);
            break;
        case MonitorEvent::Kind::Progress:
            statusBar_->SetProgress(static_cast<std::uint32_t>(e.value));
            break;
        case MonitorEvent::Kind::TextEnded:
            if (terminal_->Held())
                heldEnd_ = std::move(e);
            else
                OnTextEnded(e);
            break;
        case MonitorEvent::Kind::LineLost:
            SetLamps({});
            break;
    }
}

// ---- text files ----

void ShowRS232::OnTransmitText() {
    if (!engine_ || engine_->openPort() == 0) {
        Error(local(fenwald::kCannotTransmit));
        return;
    }
    serial::ui::FileDialogRequest request;
    request.parent = this;
    request.proposedPath = QFile::decodeName(saveFileName_.c_str());
    request.filter = kAllFilesFilter;
    auto chosen = serial::ui::askFileName(request);
    if (!chosen) return;
    fenwald::TextStartResult started = engine_->startTextFile(path8(*chosen));
    if (!started) {
        Error(local(started.message));
        return;
    }
    // Its first byte and progress 1 are in the engine's events already.
    settingsMenu_->menuAction()->setEnabled(false);
    menuBar_->update();
}

void ShowRS232::OnTextEnded(const MonitorEvent& e) {
    statusBar_->SetProgress(0);
    switch (static_cast<fenwald::TextEnd>(e.value)) {
        case fenwald::TextEnd::Transmitted:
            serial::ui::showMessageBox(this, local(fenwald::kFileTransferred), {},
                                       QMessageBox::Information);
            break;
        case fenwald::TextEnd::Failed:
            Error(local(e.text));
            break;
        case fenwald::TextEnd::Stopped:
            break;
    }
    settingsMenu_->menuAction()->setEnabled(true);
    menuBar_->update();
    update();
}

// ---- saving ----

void ShowRS232::OnSave() {
    if (saveFileName_.empty()) {
        OnSaveAs();
        return;
    }
    platform::SystemError err;
    if (!terminal_->SaveRtf(saveFileName_, &err))
        Error(local(platform::cannotWriteText(serial::namedControlBytes(saveFileName_), err)));
    terminal_->moveCursor(QTextCursor::End);
}

void ShowRS232::OnSaveAs() {
    serial::ui::FileDialogRequest request;
    request.mode = serial::ui::FileDialogRequest::Mode::Save;
    request.parent = this;
    request.proposedPath = QFile::decodeName(saveFileName_.c_str());
    request.filter = kRtfFilter + QStringLiteral(";;") + kAllFilesFilter;
    QString filter = kRtfFilter;
    request.chosenFilter = &filter;
    auto chosen = serial::ui::askFileName(request);
    if (!chosen) return;
    QString path = *chosen;
    if (filter == kRtfFilter && QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".rtf");
    saveFileName_ = path8(path);
    OnSave();
}

// ---- Vesk transfers ----

void ShowRS232::OnVesk(bool transmit) {
    if (!engine_ || transferRunning_) return;
    engine_->closeLine();  // the component opens the port itself
    auto notStarted = [this] { ApplySettings(); };
    if (!transfer_.created()) {
        Error(local(transfer_.creationError()));
        return notStarted();
    }
    if (transfer_.IsBusy() != 0) {
        Error(kProtocolRunning);
        return notStarted();
    }
    if (transmit) {
        serial::ui::FileDialogRequest request;
        request.parent = this;
        request.proposedPath = QFile::decodeName(saveFileName_.c_str());
        request.filter = kAllFilesFilter;
        auto chosen = serial::ui::askFileName(request);
        if (!chosen) return notStarted();
        transferFile_ = path8(*chosen);
    } else {
        const std::string start =
            receiveFolder_.empty() ? platform::documentsFolder() : receiveFolder_;
        CFolderDialog folder(kFolderTitle, QFile::decodeName(start.c_str()), this);
        if (folder.DoModal() != QDialog::Accepted) return notStarted();
        receiveFolder_ = path8(folder.GetFolderPath());
    }
    namespace vesk = fenwald::vesk;
    transfer_.SetPort(static_cast<std::int16_t>(settings_.port));
    transfer_.SetBaudRate(settings_.baudrate);
    transfer_.SetParity(static_cast<std::int16_t>(settings_.parity));
    transfer_.SetDataBits(static_cast<std::int16_t>(settings_.databits));
    transfer_.SetStopBits(static_cast<std::int16_t>(settings_.stopbits));
    transfer_.setCharTimeout(vesk::kDefaultCharTimeoutMs);
    transfer_.setAnswerTimeout(vesk::kDefaultAnswerTimeoutMs);
    transfer_.setRetries(vesk::kDefaultRetries);
    transfer_.SetIrdaType(fenwald::irdaForTransfer(settings_.irda));
    transferRunning_ = true;
    action(kCancelTransfer)->setEnabled(true);
    if (transmit)
        transfer_.TransmitFile(vesk::kProtocol, transferFile_);
    else
        transfer_.ReceiveFile(vesk::kProtocol, receiveFolder_, 1);
    statusBar_->SetProgress(1);
    // The other side may take up to the answer time-out times the tries to turn up.
    if (transferRunning_) ShowTransferWait(transmit ? kWaitingForReceiver : kWaitingForSender);
}

void ShowRS232::ShowTransferWait(const QString& text) {
    QProgressBar* bar = statusBar_->progressBar();
    bar->setFormat(text);
    bar->setTextVisible(!text.isEmpty());
}

QString ShowRS232::transferWaitText() const {
    QProgressBar* bar = statusBar_->progressBar();
    return bar->isTextVisible() ? bar->format() : QString();
}

void ShowRS232::OnTransferEvent(const platform::ComponentEvent& e) {
    if (auto p = fenwald::decodeVeskProgress(e)) {
        // Progress means the other side has answered.
        ShowTransferWait({});
        statusBar_->SetProgress(static_cast<std::uint32_t>(std::max(p->percent, 0)));
        return;
    }
    auto st = fenwald::decodeVeskStatus(e);
    if (!st) return;
    ShowTransferWait({});
    action(kCancelTransfer)->setEnabled(false);
    if (st->code < fenwald::vesk::kInformationFirst)
        Error(local(serial::namedControlBytes(st->message)));
    else if (st->code < fenwald::vesk::kNothingToShowFirst)
        serial::ui::showMessageBox(this, local(serial::namedControlBytes(st->message)), {},
                                   QMessageBox::Information);
    statusBar_->SetProgress(0);
    update();
    QTimer::singleShot(kReopenDelayMs, this, [this] {
        transferRunning_ = false;
        if (!closing_) ApplySettings();
    });
}

// ---- closing ----

bool ShowRS232::eventFilter(QObject* watched, QEvent* event) {
    // The port is the component's meanwhile, so the terminal's Esc has no line to go to.
    if (watched == terminal_ && event->type() == QEvent::KeyPress && transferRunning_ &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        OnCommand(kCancelTransfer);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowRS232::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && transferRunning_) {
        OnCommand(kCancelTransfer);
        return;
    }
    QDialog::keyPressEvent(event);
}

bool ShowRS232::MayClose() {
    if (!transferRunning_ || transfer_.IsBusy() == 0) return true;
    if (serial::ui::showMessageBox(this, kCloseDuringTransfer, {}, QMessageBox::Question,
                                   QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return false;
    transfer_.cancel();
    return true;
}

void ShowRS232::closeEvent(QCloseEvent* event) {
    done(0);
    if (closing_)
        event->accept();
    else
        event->ignore();
}

void ShowRS232::done(int result) {
    if (closing_ || !MayClose()) return;
    closing_ = true;
    watcher_.stop();
    // The receive thread stops and the line closes before the dialog ends.
    drain_.reset();
    engine_.reset();
    QDialog::done(result);
}
