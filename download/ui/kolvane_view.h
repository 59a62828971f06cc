// CKolvaneView, the download tool's log view, and the owner of its worker.
//
// At its first update (the first time it is shown, or OnInitialUpdate) it starts the worker
// (kolvane::CDownloadThread) and posts the command that opens the line. From then on every
// Config choice and File Open writes its log line and posts its commands (the table in
// download/engine/config_commands.h, the one the command line uses too); the worker's log
// lines and completions come back through its report queue, drained here on the GUI thread.
//
// Busy rule: the tool is busy from posting a command until that command's completion. File
// Open and the port items COM1..COM3 refuse while it is busy, with the message box
// "Download中は操作不可能"; the other Config items queue behind the running command.
//
// The log is read-only; every line goes to the end of the text, whatever the user has
// clicked or selected, and is scrolled into view.
//
// Threads: everything here runs on the GUI thread; the worker only pushes reports, which a
// QueueDrain hands over here. Shutdown() (also run by the destructor) cancels the
// worker's command, closes the line and stops the worker before anything it uses goes away.
#pragma once

#include <QString>
#include <QWidget>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "download/engine/config_commands.h"
#include "platform/report.h"
#include "serial/ui/queue_drain.h"

class QPlainTextEdit;

namespace kolvane {
class CDownloadThread;
}  // namespace kolvane

namespace Ui {
class CKolvaneView;
}

class CKolvaneView : public QWidget {
    Q_OBJECT
public:
    static const QString kBusyMessage;  // "Download中は操作不可能"
    static const QString kOpenFileFilter;
    static const QString kOpenFileExtension;  // "bin"
    // The worker's wait for a command when it has none (its idle turn).
    static constexpr int kWorkerIdleWaitMs = 5;

    explicit CKolvaneView(QWidget* parent = nullptr);
    ~CKolvaneView() override;

    // Starts the worker and opens the line; once only.
    void OnInitialUpdate();
    // Cancels the running command, closes the line and stops the worker; once only.
    void Shutdown();

    // True when no posted command is waiting for its completion.
    bool IsReady() const { return posted_.empty(); }
    // A download was posted and has not completed; its percentage so far.
    bool IsDownloading() const;
    int DownloadPercent() const { return percent_; }
    const QString& ImagePath() const { return imagePath_; }

    // ---- what the frame's commands do ----
    // A Config choice: its log lines and commands, without the busy test.
    void OnConfigChoice(kolvane::ConfigChoice choice);
    // "COM1".."COM3": refused with the busy message while busy (false).
    bool OnPortChoice(int port);
    // "COM_X" after its dialog: the port, without the busy test.
    void SetPort(int port);
    // The port the line is (to be) opened on.
    int Port() const { return port_; }
    // "Cancel Download": ends the running command (its log says where it stopped); the
    // commands after it run as usual. Nothing while ready.
    void CancelCommand();
    // File Open: refused while busy (false); otherwise asks for the image (false when
    // cancelled), logs "Open File : " and the path and posts the download.
    bool OnFileOpen();

    // Appends one line at the end of the log and scrolls it into view.
    void Log(const QString& text);
    std::vector<std::string> LogLines() const;
    QPlainTextEdit* logEdit() const;
    kolvane::CDownloadThread* Worker() const { return worker_.get(); }

signals:
    // The ready state or the download's progress changed.
    void StateChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Post(const kolvane::ConfigStep& step);
    // The argument: a number, or the image path of a download.
    template <class Argument>
    void PostCommand(int command, Argument argument);
    void Busy();
    void Take(const platform::Report& report);

    std::unique_ptr<Ui::CKolvaneView> ui_;
    std::unique_ptr<kolvane::CDownloadThread> worker_;
    std::unique_ptr<serial::ui::QueueDrain<platform::Report>> reports_;
    bool stopped_ = false;
    std::deque<int> posted_;  // commands posted and not completed, in the order they run
    int percent_ = 0;
    int port_ = 1;  // the worker's start-up port
    QString imagePath_;
};
