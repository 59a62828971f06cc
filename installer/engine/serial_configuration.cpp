#include "installer/engine/serial_configuration.h"

namespace fenwald {

namespace {

ConfigurationMessage message(std::string_view caption, std::string_view text,
                             platform::Report::Severity severity) {
    return {std::string(caption), std::string(text), severity};
}

}  // namespace

SerialConfigurationResult SendConfigurationSerial(CSerialPort& port, std::string_view configuration,
                                                  bool makePermanent,
                                                  const ConfigurationPause& pause,
                                                  const platform::CancelFlag* cancel) {
    using Severity = platform::Report::Severity;
    if (configuration.empty())
        return {false, message(kErrorCaption, kConfigurationEmpty, Severity::Error)};
    if (!port.IsOpen())
        return {false, message(kNoScannerCaption, kSelectScannerFirst, Severity::Error)};
    SerialConfigurationResult cancelled{false, {}, true};
    for (char byte : configurationCommand(configuration, makePermanent)) {
        if (cancel && cancel->isSet()) return cancelled;
        port.Write(&byte, 1);
    }
    if (pause)
        pause(kAcknowledgementWait);
    else
        platform::pauseFor(cancel, kAcknowledgementWait);
    if (cancel && cancel->isSet()) return cancelled;
    std::uint8_t answer = 0;
    if (port.Read(&answer, 1) == 1 && answer == kAck)
        return {true, message(kInformationCaption, kConfiguredText, Severity::Information)};
    return {false, message(kErrorCaption, kNotAccepted, Severity::Error)};
}

}  // namespace fenwald
