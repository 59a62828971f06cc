#include "download/ui/main_frame.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <exception>

#include "download/ui/kolvane_doc.h"
#include "download/ui/kolvane_view.h"
#include "download/ui/program_artwork.h"
#include "download/ui/small_dialogs.h"
#include "download/ui/z7_image_view.h"
#include "serial/ui/dialog_seams.h"
#include "ui_main_frame.h"

using kolvane::ConfigChoice;
using platform::LockKey;

namespace {

constexpr const char* kIndicatorTexts[] = {"KANA", "CAPS", "NUM", "SCRL"};

}  // namespace

CMainFrame::CMainFrame(std::unique_ptr<platform::LockKeys> keys, QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::CMainFrame>()), keys_(std::move(keys)) {
    ui_->setupUi(this);
    if (!keys_) keys_ = platform::systemLockKeys();
    setWindowIcon(kolvane::ui::artwork().programIcon());
    const std::pair<QAction*, const char*> icons[] = {
        {ui_->actionFileOpen, "open"}, {ui_->actionFileSave, "save"}, {ui_->actionCut, "cut"},
        {ui_->actionCopy, "copy"},     {ui_->actionPaste, "paste"},   {ui_->actionAbout, "about"},
    };
    for (const auto& [action, name] : icons)
        action->setIcon(kolvane::ui::artwork().toolIcon(QLatin1String(name)));

    doc_ = new CKolvaneDoc(this);
    stack_ = new QStackedWidget(this);
    view_ = new CKolvaneView(stack_);
    // The image view is a form; like any form it scrolls when the window is smaller.
    imageScroll_ = new QScrollArea(stack_);
    imageView_ = new CZ7ImageView;
    imageScroll_->setWidget(imageView_);
    imageScroll_->setFrameShape(QFrame::NoFrame);
    stack_->addWidget(view_);
    stack_->addWidget(imageScroll_);
    stack_->setCurrentWidget(view_);
    setCentralWidget(stack_);

    BuildStatusBar();
    ConnectCommands();
    UpdateTitle();
    UpdateState();
    // The first size fits the image view's form, without scroll bars.
    stack_->setMinimumSize(imageView_->size());
    const QSize fitting = sizeHint();
    stack_->setMinimumSize(0, 0);
    resize(fitting);
}

CMainFrame::~CMainFrame() {
    // The view's signals must not reach this half-destroyed frame while its worker stops.
    disconnect(view_, nullptr, this, nullptr);
    view_->Shutdown();
}

QWidget* CMainFrame::ActiveView() const {
    return stack_->currentWidget() == imageScroll_ ? static_cast<QWidget*>(imageView_) : view_;
}

QAction* CMainFrame::Action(const char* name) const {
    return findChild<QAction*>(QLatin1String(name));
}

QLabel* CMainFrame::indicatorPane(Indicator which) const {
    return indicators_[static_cast<int>(which)];
}

QToolBar* CMainFrame::toolBar() const {
    return ui_->toolBar;
}

// ---- building ----

void CMainFrame::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    message_ = new QLabel(bar);
    message_->setIndent(3);
    bar->addWidget(message_, 1);
    const QFontMetrics metrics(bar->font());
    progress_ = new QProgressBar(bar);
    progress_->setRange(0, 100);
    progress_->setFixedWidth(metrics.horizontalAdvance(QLatin1Char('0')) * 16);
    progress_->setMaximumHeight(metrics.height() + 4);
    progress_->hide();
    bar->addPermanentWidget(progress_);
    port_ = new QLabel(bar);
    port_->setObjectName(QStringLiteral("portPane"));
    port_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    port_->setAlignment(Qt::AlignCenter);
    port_->setMinimumWidth(metrics.horizontalAdvance(QStringLiteral("COM255")) + 12);
    bar->addPermanentWidget(port_);
    int width = 0;
    for (const char* text : kIndicatorTexts)
        width = std::max(width, metrics.horizontalAdvance(QLatin1String(text)));
    for (int i = 0; i < 4; ++i) {
        auto* pane = new QLabel(bar);
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setFixedWidth(width + 12);
        pane->setObjectName(QStringLiteral("indicator%1").arg(QLatin1String(kIndicatorTexts[i])));
        bar->addPermanentWidget(pane);
        indicators_[i] = pane;
    }
    indicatorTimer_ = new QTimer(this);
    indicatorTimer_->setInterval(kIndicatorRefreshMs);
    connect(indicatorTimer_, &QTimer::timeout, this, &CMainFrame::UpdateIndicators);
    // Without a keyboard to read (no display) the panes stay blank and nothing is polled.
    if (keys_->available()) indicatorTimer_->start();
    UpdateIndicators();
}

void CMainFrame::AddChoice(QAction* action, ConfigChoice choice, Group* group) {
    if (group) AddToGroup(*group, action);
    connect(action, &QAction::triggered, this, [this, action, choice, group] {
        if (group) Check(*group, action);
        view_->OnConfigChoice(choice);
    });
}

void CMainFrame::AddToGroup(Group& group, QAction* action) {
    // An exclusive group shows its items as one choice (radio marks).
    if (!group.marks) group.marks = new QActionGroup(this);
    group.marks->addAction(action);
}

void CMainFrame::Check(Group& group, QAction* action) {
    group.checked = action;
    action->setChecked(true);
}

void CMainFrame::ConnectCommands() {
    Ui::CMainFrame& u = *ui_;
    connect(u.actionFileOpen, &QAction::triggered, this, &CMainFrame::OnFileOpen);
    connect(u.actionFileSave, &QAction::triggered, this, &CMainFrame::OnFileSave);
    connect(u.actionCancelDownload, &QAction::triggered, this, &CMainFrame::OnCancelDownload);
    u.actionCancelDownload->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
    connect(u.actionExit, &QAction::triggered, this, &QWidget::close);

    // Ports: COM1..COM3 are refused while busy; COM_X asks for its number.
    for (QAction* port : {u.actionCom1, u.actionCom2, u.actionCom3, u.actionComX})
        AddToGroup(ports_, port);
    const std::pair<QAction*, int> ports[] = {
        {u.actionCom1, 1}, {u.actionCom2, 2}, {u.actionCom3, 3}};
    for (const auto& [action, port] : ports) {
        connect(action, &QAction::triggered, this, [this, action = action, port = port] {
            // Qt has already toggled the item; a refused choice puts the marks back.
            Check(ports_, view_->OnPortChoice(port) ? action : ports_.checked);
        });
    }
    connect(u.actionComX, &QAction::triggered, this, &CMainFrame::OnPortX);

    AddChoice(u.actionBin8kNew, ConfigChoice::Bin8kNew, &kinds_);
    AddChoice(u.actionBin8kOld, ConfigChoice::Bin8kOld, &kinds_);
    AddChoice(u.actionMotHex, ConfigChoice::MotHex, &kinds_);
    AddChoice(u.actionBootstrap, ConfigChoice::Bootstrap, &kinds_);
    AddChoice(u.actionK41, ConfigChoice::K41, &devices_);
    AddChoice(u.actionZ7B, ConfigChoice::Z7B, &devices_);
    AddChoice(u.actionZ7D, ConfigChoice::Z7D, &devices_);
    AddChoice(u.actionBigEndian, ConfigChoice::BigEndian, &endians_);
    AddChoice(u.actionLittleEndian, ConfigChoice::LittleEndian, &endians_);
    AddChoice(u.actionRs232c, ConfigChoice::Rs232c, &interfaces_);
    AddChoice(u.actionUsbCom, ConfigChoice::UsbCom, &interfaces_);
    AddChoice(u.actionDelXsw, ConfigChoice::DelXsw, nullptr);
    // The start-up settings.
    Check(ports_, u.actionCom1);
    Check(kinds_, u.actionBin8kNew);
    Check(devices_, u.actionK41);
    Check(endians_, u.actionBigEndian);
    Check(interfaces_, u.actionRs232c);
    // "End Load" does nothing.
    connect(u.actionNumLock, &QAction::triggered, this, [this] { OnLockKey(LockKey::NumLock); });
    connect(u.actionScrollLock, &QAction::triggered, this,
            [this] { OnLockKey(LockKey::ScrollLock); });
    connect(u.actionCapsLock, &QAction::triggered, this, [this] { OnLockKey(LockKey::CapsLock); });

    u.actionToolBar->setChecked(true);
    u.actionStatusBar->setChecked(true);
    connect(u.actionToolBar, &QAction::toggled, u.toolBar, &QWidget::setVisible);
    connect(u.toolBar, &QToolBar::visibilityChanged, u.actionToolBar, &QAction::setChecked);
    connect(u.actionStatusBar, &QAction::toggled, statusBar(), &QWidget::setVisible);
    connect(u.actionLogView, &QAction::triggered, this, &CMainFrame::OnViewLog);
    connect(u.actionImageView, &QAction::triggered, this, &CMainFrame::OnViewImage);
    connect(u.actionAbout, &QAction::triggered, this, &CMainFrame::OnAbout);

    connect(view_, &CKolvaneView::StateChanged, this, &CMainFrame::UpdateState);
}

// ---- commands ----

void CMainFrame::OnFileOpen() {
    try {
        view_->OnFileOpen();
    } catch (const std::exception&) {
        serial::ui::showMessageBox(this, QStringLiteral("CMainFrame::OnFileOpen()"));
    }
}

void CMainFrame::OnFileSave() {
    doc_->OnFileSave(this, view_->LogLines());
}

void CMainFrame::OnCancelDownload() {
    view_->CancelCommand();
}

void CMainFrame::OnPortX() {
    Check(ports_, ui_->actionComX);
    CRsPortSetupDlg dialog(this);
    dialog.exec();
    // The dialog's number whichever button closed it: its first number after Cancel.
    view_->SetPort(static_cast<int>(dialog.Port()));
}

void CMainFrame::OnLockKey(LockKey key) {
    if (!keys_->press(key)) {
        statusBar()->showMessage(QStringLiteral("The keyboard's lock keys cannot be reached here."),
                                 5000);
        return;
    }
    UpdateIndicators();
}

void CMainFrame::UpdateIndicators() {
    const std::pair<Indicator, LockKey> keys[] = {{Indicator::Caps, LockKey::CapsLock},
                                                  {Indicator::Num, LockKey::NumLock},
                                                  {Indicator::Scrl, LockKey::ScrollLock}};
    for (const auto& [indicator, key] : keys) {
        const bool on = keys_->available() && keys_->state(key).value_or(false);
        QLabel* pane = indicatorPane(indicator);
        const QString text =
            on ? QLatin1String(kIndicatorTexts[static_cast<int>(indicator)]) : QString();
        if (pane->text() != text) pane->setText(text);
    }
}

void CMainFrame::OnViewLog() {
    stack_->setCurrentWidget(view_);
    view_->logEdit()->setFocus();
}

void CMainFrame::OnViewImage() {
    stack_->setCurrentWidget(imageScroll_);
    imageView_->inputField()->setFocus();
}

void CMainFrame::OnAbout() {
    kolvane::ui::CAboutDlg about(this);
    about.exec();
}

// ---- state ----

void CMainFrame::UpdateMessage() {
    QString text = QStringLiteral("Ready");
    if (view_->IsDownloading())
        text = QStringLiteral("Downloading %1 ... %2 %")
                   .arg(QFileInfo(view_->ImagePath()).fileName())
                   .arg(view_->DownloadPercent());
    else if (!view_->IsReady())
        text = QStringLiteral("Busy");
    if (message_->text() != text) message_->setText(text);
}

void CMainFrame::CloseWithoutAsking() {
    askBeforeClosing_ = false;
    close();
}

void CMainFrame::UpdateState() {
    UpdateMessage();
    ui_->actionCancelDownload->setEnabled(!view_->IsReady());
    const bool downloading = view_->IsDownloading();
    if (downloading) progress_->setValue(view_->DownloadPercent());
    progress_->setVisible(downloading);
    const QString port = QStringLiteral("COM%1").arg(view_->Port());
    if (port_->text() != port) port_->setText(port);
}

void CMainFrame::UpdateTitle() {
    setWindowTitle(QStringLiteral("%1 - %2").arg(doc_->Title(), kolvane::ui::kApplicationTitle));
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (askBeforeClosing_ && view_->IsDownloading() &&
        serial::ui::showMessageBox(
            this,
            QStringLiteral("A download is running. The device's flash may be left incomplete. "
                           "Exit anyway?"),
            QString(), QMessageBox::Warning,
            QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    view_->Shutdown();
    event->accept();
}
