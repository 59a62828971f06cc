// Sending a configuration to a scanner over its COM port: ESC, the configuration, "Z2" when it
// is to be kept, CR, each byte in a write of its own, then the scanner's acknowledgement.
//
// The line is the one the scanner was found on (open, with immediate reads, as the detection
// leaves it). After the writes the scanner has 500 ms to answer; then one byte is read with the
// port's time-outs, and only ACK counts as accepted. On acceptance the caller finds the scanner
// again (the configuration may have changed its baud rate) and then shows kConfiguredMessage.
//
// Threads: the caller's; it blocks for the writes and the 500 ms. Errors: a write or the read
// that fails throws CSerialException (the caller shows its GetErrorMessage); everything else is
// in the result.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string_view>

#include "installer/engine/configuration_file.h"
#include "installer/engine/serial_port.h"
#include "platform/cancel_flag.h"

namespace fenwald {

constexpr std::chrono::milliseconds kAcknowledgementWait{500};
constexpr std::uint8_t kAck = 0x06;

constexpr std::string_view kNoScannerCaption = " No Scanner selected";
constexpr std::string_view kSelectScannerFirst = "Select Scanner first!";
constexpr std::string_view kNotAccepted = "Scanner does not accept configuration.";
constexpr std::string_view kInformationCaption = " Information";
constexpr std::string_view kConfiguredText = "Scanner Configured succesfully!";

struct SerialConfigurationResult {
    bool accepted = false;
    // What to show: the failure's message, or, when accepted, the one to show once the scanner
    // has been found again.
    ConfigurationMessage message;
    bool cancelled = false;  // the cancel flag ended it: nothing went out after that
};

// The wait before the answer is read; sleeps when empty.
using ConfigurationPause = std::function<void(std::chrono::milliseconds)>;

// cancel, when given, is looked at before each byte and ends the wait for the answer.
SerialConfigurationResult SendConfigurationSerial(CSerialPort& port, std::string_view configuration,
                                                  bool makePermanent,
                                                  const ConfigurationPause& pause = {},
                                                  const platform::CancelFlag* cancel = nullptr);

}  // namespace fenwald
