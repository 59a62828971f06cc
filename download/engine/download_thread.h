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
// word outside the table gives an Information message "DIO line Error" and no completion.
// Progress reports (value 0..100) come during a download.
//
// Receiving: Reports() is the worker's report queue (platform/report.h): a window drains it on
// its own thread through serial/ui/queue_drain.h, the command line waits on it.
//
// Cancelling: CancelCommand() ends the running command with 0 at its next wait or loop turn
// ("Download cancelled at block K: ..." in the log for a download); the next command runs as
// usual. RequestCancel() does the same for good: every later command ends at once. Shutdown()
// cancels for good, asks for the line to be closed and stops the thread, waiting for it; the
// destructor does the same.
#pragma once

#include <atomic>
#include <string>

#include "download/engine/download_line.h"
#include "download/engine/download_settings.h"
#include "download/engine/multi_thread.h"
#include "platform/cancel_flag.h"
#include "platform/report.h"

namespace kolvane {

// What a front end shows when the worker cannot start: reason is CreateFailure().
inline std::string cannotStartText(const std::string& reason) {
    return "The download worker cannot start its thread: " + reason;
}

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

    platform::ReportQueue& Reports() { return reports_; }
    void CancelCommand() { cancel_.set(); }
    void RequestCancel() {
        cancelledForGood_ = true;
        cancel_.set();
    }
    void Shutdown();

protected:
    void OnThreadCommand(std::uint32_t word, const CommandArgument& argument) override;

private:
    int Download(const std::string& path);
    void Log(const std::string& text) { reports_.push(platform::Report::log(text)); }

    // Worker thread only, except cancel_ and reports_.
    DownloadSettings settings_;
    platform::CancelFlag cancel_;
    std::atomic<bool> cancelledForGood_{false};
    DownloadLine line_;
    platform::ReportQueue reports_;
};

}  // namespace kolvane
