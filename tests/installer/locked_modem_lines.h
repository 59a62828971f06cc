// The recording modem-lines fake behind a lock, so the monitor's receive thread may ask it
// while the test reads or changes it.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/modem_lines.h"

namespace testmonitor {

class LockedModemLines final : public platform::ModemLines {
public:
    bool set(platform::ModemLine line, bool on) override {
        std::lock_guard l(lock_);
        return lines_.set(line, on);
    }
    std::optional<platform::ModemStatus> status() override {
        std::lock_guard l(lock_);
        return lines_.status();
    }
    void pause(std::chrono::milliseconds d) override {
        std::lock_guard l(lock_);
        lines_.pause(d);
    }
    void setStatus(bool cts, bool dsr) {
        std::lock_guard l(lock_);
        lines_.statusToReport.cts = cts;
        lines_.statusToReport.dsr = dsr;
    }
    std::vector<std::string> journal() {
        std::lock_guard l(lock_);
        return lines_.journal;
    }

private:
    std::mutex lock_;
    platform::RecordingModemLines lines_;
};

}  // namespace testmonitor
