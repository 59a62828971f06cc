#include "serial/cli/console.h"

#include <cerrno>
#include <iomanip>
#include <string>

namespace serial::cli {

namespace {
constexpr int kBarWidth = 30;
}

Console::Console(std::ostream& out, std::ostream& err, bool progressBar,
                 const std::atomic<bool>* interrupted)
    : out_(out), err_(err), progressBar_(progressBar), interrupted_(interrupted) {}

void Console::print(std::string_view text) {
    std::lock_guard l(lock_);
    clearBar();
    if (outputFailed_) return;
    out_ << text << std::flush;
    written();
}

void Console::printLine(std::string_view line) {
    std::lock_guard l(lock_);
    clearBar();
    if (outputFailed_) return;
    out_ << line << '\n' << std::flush;
    written();
}

void Console::written() {
    if (out_) return;
    outputError_ = errno;
    outputFailed_ = true;
}

void Console::message(std::string_view line) {
    std::lock_guard l(lock_);
    clearBar();
    err_ << line << '\n' << std::flush;
}

void Console::progress(int percent) {
    if (!progressBar_) return;
    std::lock_guard l(lock_);
    if (percent <= 0) {
        clearBar();
        return;
    }
    if (percent > 100) percent = 100;
    const int filled = percent * kBarWidth / 100;
    err_ << "\rTransferring... [" << std::string(std::size_t(filled), '#')
         << std::string(std::size_t(kBarWidth - filled), '.') << "] " << std::setw(3) << percent
         << "%" << std::flush;
    barShown_ = true;
}

void Console::clearProgress() {
    std::lock_guard l(lock_);
    clearBar();
}

void Console::clearBar() {
    if (!barShown_) return;
    // The bar shares the terminal with standard output: wiped before anything else is shown.
    err_ << "\r\033[K" << std::flush;
    barShown_ = false;
}

}  // namespace serial::cli
