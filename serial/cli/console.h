// Where a headless program writes: results on standard output, messages on standard error,
// and on a terminal a progress bar on standard error that is wiped before any line is
// written. Every call writes whole lines, flushed, and may come from any thread.
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>
#include <string_view>

namespace serial::cli {

class Console {
public:
    // progressBar: standard error is a terminal. interrupted: set by Ctrl+C (may be null).
    Console(std::ostream& out, std::ostream& err, bool progressBar = false,
            const std::atomic<bool>* interrupted = nullptr);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // Results, as given: one or more lines, each ending in '\n'.
    void print(std::string_view text);
    void printLine(std::string_view line);
    // One line on standard error.
    void message(std::string_view line);
    // 1..100 draws the bar (more is 100); 0 or less wipes it.
    void progress(int percent);
    void clearProgress();

    bool interrupted() const { return interrupted_ && *interrupted_; }
    // A write to standard output failed (a full disk, a closed pipe): the job goes on to its
    // safe end, nothing more is written there, and the program's exit status says it failed.
    bool outputFailed() const { return outputFailed_; }
    int outputError() const { return outputError_; }  // errno of that write

private:
    void clearBar();
    void written();

    std::ostream& out_;
    std::ostream& err_;
    const bool progressBar_;
    const std::atomic<bool>* interrupted_;
    std::mutex lock_;
    bool barShown_ = false;
    std::atomic<bool> outputFailed_{false};
    int outputError_ = 0;
};

}  // namespace serial::cli
