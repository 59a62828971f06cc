// CDownloadThread: the download tool's worker. It owns the settings, the serial line and the
// cancel flag, and runs the posted commands one at a time.
//
// Posting (any thread, usually the window's or the command line's):
//   PostThreadCommand(kOpenLine)                      open COM RsPort at 9600 baud
//   PostThreadCommand(kSetPort, n)                    RsPort := n, close, open at 9600 baud
//   PostThreadCommand(kSetBlockSize, n) ... (29..34)  change one setting
//   PostThreadCommand(kDownload, path)                download the image file
//   PostThreadCommand(kCloseLine)                     close the line
// Each command ends with one Completed report (value 1 or 0) after its Log reports; a command
// word outside the table gives a Notice "DIO line Error" and no completion. Progress reports
// (value 0..100) come during a download.
//
// Receiving: Reports() is a thread-safe queue. A window sets its notify function to schedule a
// queued call on its GUI thread and drains the queue there (the notify runs on the worker
// thread and must not block); the command line waits on the queue. Reports arrive in the
// order they were made.
//
// Ending: RequestCancel() (set once, never cleared) ends a running command with 0 at the next
// wait or loop turn. Shutdown() cancels, asks for the line to be closed and stops the thread,
// waiting for it; the destructor does the same.
#pragma once

#include <string>

#include "download/engine/cancel_flag.h"
#include "download/engine/download_line.h"
#include "download/engine/download_settings.h"
#include "download/engine/message_queue.h"
#include "download/engine/multi_thread.h"

namespace kolvane {

struct WorkerReport {
    enum class Kind {
        Completed,  // value: the command's result, 1 or 0
        Log,        // text: one log line
        Notice,     // text: a message the user must see (a message box in the window)
        Progress,   // value: percent of the image sent
    };
    Kind kind;
    int value = 0;
    std::string text;
};

class CDownloadThread : public CMultiThread {
public:
    static constexpr int kCloseLine = 1;
    static constexpr int kOpenLine = 4;
    static constexpr int kDownload = 24;
    static constexpr int kSetPort = 28;
    static constexpr int kSetBlockSize = 29;
    static constexpr int kSetDeviceType = 30;
    static constexpr int kSetIfType = 31;
    static constexpr int kSetEndianType = 32;
    static constexpr int kSetSaveAddress = 33;
    static constexpr int kSetUseZwFlg = 34;

    CDownloadThread();
    ~CDownloadThread() override;

    MessageQueue<WorkerReport>& Reports() { return reports_; }
    void RequestCancel() { cancel_.set(); }
    void Shutdown();

protected:
    void OnThreadCommand(std::uint32_t word, const CommandArgument& argument) override;

private:
    int Download(const std::string& path);
    void Log(const std::string& text) { reports_.push({WorkerReport::Kind::Log, 0, text}); }

    // Worker thread only, except cancel_ and reports_.
    DownloadSettings settings_;
    CancelFlag cancel_;
    DownloadLine line_;
    MessageQueue<WorkerReport> reports_;
};

}  // namespace kolvane
