// The modem-line seam: DTR/RTS changes, status and the pauses between pulses. Timed pulse
// sequences (IrDA adapters) go through it so a test can check their order and waits; a
// pseudo-terminal has no modem lines to observe.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace platform {

class ModemLines {
public:
    virtual ~ModemLines() = default;
    // False where the line has no modem lines.
    virtual bool set(ModemLine line, bool on) = 0;
    virtual std::optional<ModemStatus> status() = 0;
    virtual void pause(std::chrono::milliseconds duration) = 0;
};

// The real lines of an open device; pauses sleep.
class DeviceModemLines final : public ModemLines {
public:
    explicit DeviceModemLines(SerialDevice& device) : device_(device) {}
    bool set(ModemLine line, bool on) override { return device_.setModemLine(line, on); }
    std::optional<ModemStatus> status() override { return device_.modemStatus(); }
    void pause(std::chrono::milliseconds duration) override;

private:
    SerialDevice& device_;
};

// Notes every change and pause, in order, as "DTR on", "RTS off", "wait 200"; never sleeps.
class RecordingModemLines final : public ModemLines {
public:
    bool set(ModemLine line, bool on) override {
        journal.push_back(std::string(line == ModemLine::Dtr ? "DTR" : "RTS") +
                          (on ? " on" : " off"));
        return true;
    }
    std::optional<ModemStatus> status() override { return statusToReport; }
    void pause(std::chrono::milliseconds d) override {
        journal.push_back("wait " + std::to_string(d.count()));
    }
    std::vector<std::string> journal;
    ModemStatus statusToReport;
};

}  // namespace platform
