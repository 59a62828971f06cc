#include "download/ui/kolvane_view.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <chrono>

#include "download/engine/download_thread.h"
#include "serial/ui/dialog_seams.h"
#include "ui_kolvane_view.h"

using kolvane::CDownloadThread;
using serial::ui::showMessageBox;

const QString CKolvaneView::kBusyMessage = QStringLiteral("Download中は操作不可能");
const QString CKolvaneView::kOpenFileFilter =
    QStringLiteral("Bin files (*.bin);;Ttf files (*.ttf);;All files (*)");
const QString CKolvaneView::kOpenFileExtension = QStringLiteral("bin");

CKolvaneView::CKolvaneView(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CKolvaneView>()) {
    ui_->setupUi(this);
}

CKolvaneView::~CKolvaneView() {
    Shutdown();
    worker_.reset();
}

QPlainTextEdit* CKolvaneView::logEdit() const {
    return ui_->logEdit;
}

bool CKolvaneView::IsDownloading() const {
    for (int command : posted_)
        if (command == CDownloadThread::kDownload) return true;
    return false;
}

void CKolvaneView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    OnInitialUpdate();
}

// ---- the worker ----

template <class Argument>
void CKolvaneView::PostCommand(int command, Argument argument) {
    if (!worker_) OnInitialUpdate();
    if (stopped_) return;
    posted_.push_back(command);
    worker_->PostThreadCommand(command, std::move(argument));
    emit StateChanged();
}

void CKolvaneView::OnInitialUpdate() {
    if (worker_) return;
    worker_ = std::make_unique<CDownloadThread>();
    reports_ = std::make_unique<serial::ui::QueueDrain<platform::Report>>(
        worker_->Reports(), [this](platform::Report& report) { Take(report); });
    // Threads carry no security attributes of their own on this platform, so the worker starts
    // without them.
    if (!worker_->Create(std::chrono::milliseconds(kWorkerIdleWaitMs))) {
        // Nothing would run a command: the window says why and takes none.
        worker_->Reports().push(platform::Report::message(
            kolvane::cannotStartText(worker_->CreateFailure()), platform::Report::Severity::Error));
        stopped_ = true;
        return;
    }
    PostCommand(CDownloadThread::kOpenLine, std::int64_t{0});
}

void CKolvaneView::Shutdown() {
    if (!worker_ || stopped_) return;
    stopped_ = true;
    // Cancel, close the line, stop the worker, in that order. No pauses between the steps: the
    // cancel flag ends every wait of the worker at once, and the stop waits for its loop.
    worker_->Shutdown();
    reports_->detach();  // kept: a drain may be running under a message box
    posted_.clear();
}

void CKolvaneView::Post(const kolvane::ConfigStep& step) {
    if (!step.logLine.empty()) Log(QString::fromStdString(step.logLine));
    PostCommand(step.command, step.argument);
}

void CKolvaneView::Take(const platform::Report& report) {
    switch (report.kind) {
        case platform::Report::Kind::Log:
            Log(QString::fromStdString(report.text));
            break;
        case platform::Report::Kind::Progress:
            percent_ = report.value;
            emit StateChanged();
            break;
        case platform::Report::Kind::Completed:
            if (!posted_.empty()) {
                if (posted_.front() == CDownloadThread::kDownload) percent_ = 0;
                posted_.pop_front();
            }
            if (report.value == 0) Log(QStringLiteral("Command practice fails."));
            emit StateChanged();
            break;
        case platform::Report::Kind::Message:
            showMessageBox(window(), QString::fromStdString(report.text), QString(),
                           QMessageBox::Information);
            break;
    }
}

// ---- commands ----

void CKolvaneView::Busy() {
    showMessageBox(window(), kBusyMessage, QString(), QMessageBox::Warning);
}

void CKolvaneView::OnConfigChoice(kolvane::ConfigChoice choice) {
    for (const auto& step : kolvane::configSteps(choice)) Post(step);
}

bool CKolvaneView::OnPortChoice(int port) {
    if (!IsReady()) {
        Busy();
        return false;
    }
    SetPort(port);
    return true;
}

void CKolvaneView::SetPort(int port) {
    port_ = port;
    Post(kolvane::portStep(port));
}

void CKolvaneView::CancelCommand() {
    if (worker_ && !stopped_ && !IsReady()) worker_->CancelCommand();
}

bool CKolvaneView::OnFileOpen() {
    if (!IsReady()) {
        Busy();
        return false;
    }
    using serial::ui::FileDialogRequest;
    auto path = serial::ui::askFileName({.mode = FileDialogRequest::Mode::Open,
                                         .parent = window(),
                                         .caption = QStringLiteral("Open"),
                                         .proposedPath = {},
                                         .filter = kOpenFileFilter,
                                         .defaultSuffix = kOpenFileExtension});
    if (!path) return false;
    imagePath_ = *path;
    const std::string file = QFile::encodeName(imagePath_).toStdString();
    Log(QString::fromStdString(kolvane::openFileLogLine(file)));
    PostCommand(CDownloadThread::kDownload, file);
    return true;
}

// ---- the log ----

void CKolvaneView::Log(const QString& text) {
    QPlainTextEdit* edit = logEdit();
    // A cursor of its own at the end: the user's caret and selection stay where they are.
    QTextCursor end(edit->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text + QLatin1Char('\n'));
    QScrollBar* bar = edit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

std::vector<std::string> CKolvaneView::LogLines() const {
    std::vector<std::string> lines;
    const QStringList all = logEdit()->toPlainText().split(QLatin1Char('\n'));
    // The text ends with a line end, so its last piece is empty.
    for (qsizetype i = 0; i + 1 < all.size(); ++i) lines.push_back(all[i].toStdString());
    return lines;
}
