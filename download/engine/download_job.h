// What one download command works with: the line, the settings, the cancel flag and the way
// back to the log. Built by the worker for each command; the protocol steps take it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "download/engine/download_line.h"
#include "download/engine/download_settings.h"
#include "platform/cancel_flag.h"
#include "platform/deadline.h"
#include "serial/display_text.h"
#include "serial/port_open.h"

namespace kolvane {

// A device that has given no valid reply for this long is said to be silent in the log.
constexpr std::chrono::milliseconds kNoReplyNotice{30000};

struct DownloadJob {
    DownloadLine& line;
    const DownloadSettings& settings;
    const platform::CancelFlag& cancel;
    std::function<void(const std::string&)> log;
    std::function<void(int percent)> progress;  // 0..100, only when it changes
    std::chrono::milliseconds noReplyNotice = kNoReplyNotice;

    // Opens COM RsPort at the speed (0: the default 9600) and logs the outcome.
    bool openLine(unsigned baudRate) const {
        if (line.open(settings.RsPort, baudRate ? baudRate : kDefaultBaudRate)) {
            log("RS line is secured.");
            return true;
        }
        log("RS line can't be used.");
        logOpenAdvice();
        return false;
    }
    // Why the line could not be opened and what to do, when the line knows.
    void logOpenAdvice() const {
        std::string advice = serial::cannotOpenAdvice(line.openError(), settings.RsPort);
        if (!advice.empty()) log(serial::displayText(advice));
    }
    // The cancel flag ended the download at block (or chunk) k: say what that leaves behind.
    int cancelledAt(std::int64_t k) const {
        log("Download cancelled at block " + std::to_string(k) +
            ": the device's flash may be incomplete.");
        return 0;
    }
    // The line went away during a transfer: say so, and leave no handle behind.
    int lineLost() const {
        line.close();
        log("RS line can't be used.");
        log("The line to COM" + std::to_string(settings.RsPort) +
            " was lost: check that the device is plugged in and its port is still in the port "
            "map. The device's flash may be incomplete.");
        return 0;
    }
};

// A wait for the device that would otherwise go on without a word (only the user's time limit
// ends it): after job.noReplyNotice without a valid reply the log says so, once until the next
// valid reply. The job itself goes on.
class ReplyWatch {
public:
    explicit ReplyWatch(const DownloadJob& job) : job_(job), since_(platform::Clock::now()) {}
    void validReply() {
        since_ = platform::Clock::now();
        told_ = false;
    }
    void check() {
        if (told_ || platform::Clock::now() - since_ < job_.noReplyNotice) return;
        told_ = true;
        const auto seconds =
            std::chrono::duration_cast<std::chrono::seconds>(job_.noReplyNotice).count();
        job_.log("No valid reply from the device for " + std::to_string(seconds) +
                 " s; still trying until the time limit");
    }

private:
    const DownloadJob& job_;
    platform::Clock::time_point since_;
    bool told_ = false;
};

}  // namespace kolvane
