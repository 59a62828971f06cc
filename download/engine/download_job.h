// What one download command works with: the line, the settings, the cancel flag and the way
// back to the log. Built by the worker for each command; the protocol steps take it.
#pragma once

#include <functional>
#include <string>

#include "platform/cancel_flag.h"
#include "download/engine/download_line.h"
#include "download/engine/download_settings.h"

namespace kolvane {

struct DownloadJob {
    DownloadLine& line;
    const DownloadSettings& settings;
    const platform::CancelFlag& cancel;
    std::function<void(const std::string&)> log;
    std::function<void(int percent)> progress;  // 0..100, only when it changes

    // Opens COM RsPort at the speed (0: the default 9600) and logs the outcome.
    bool openLine(unsigned baudRate) const {
        if (line.open(settings.RsPort, baudRate ? baudRate : kDefaultBaudRate)) {
            log("RS line is secured.");
            return true;
        }
        log("RS line can't be used.");
        return false;
    }
    // The line went away during a transfer: say so, and leave no handle behind.
    int lineLost() const {
        line.close();
        log("RS line can't be used.");
        return 0;
    }
};

}  // namespace kolvane
