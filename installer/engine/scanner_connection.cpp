#include "installer/engine/scanner_connection.h"

#include <cctype>

namespace fenwald {

namespace {

constexpr std::uint8_t kEsc = 0x1B, kCr = 0x0D;
constexpr std::uint8_t kReady[] = {kEsc, 'B', kCr};

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

}  // namespace

bool SerialPortProbeLine::open(unsigned baudRate) {
    try {
        port_.Close();
        port_.Open(portNumber_, baudRate, CSerialPort::kParityNone, 8, CSerialPort::kOneStopBit,
                   CSerialPort::kNoFlowControl);
        port_.SetImmediateRead();
        // Bytes waiting from before would read as answers at this rate.
        port_.Purge();
        return true;
    } catch (const CSerialException&) {
        port_.Close();
        return false;
    }
}

bool SerialPortProbeLine::writeByte(std::uint8_t byte) {
    return port_.Write(&byte, 1) == 1;
}

std::optional<std::uint8_t> SerialPortProbeLine::readArrivedByte() {
    std::uint8_t byte = 0;
    if (port_.Read(&byte, 1) == 1) return byte;
    return std::nullopt;
}

void SerialPortProbeLine::close() {
    port_.Close();
}

bool SerialPortProbeLine::wait(std::chrono::milliseconds duration) {
    return platform::pauseFor(cancel_, duration);
}

std::string ScannerConnection::portLabel() const {
    return "COM " + std::to_string(port);
}

std::string ScannerConnection::rateLabel() const {
    return severalAnswered ? std::string(kSeveralRatesLabel) : std::to_string(rate) + " bps";
}

ScannerConnection DetectScannerRate(CSerialPort& port, int portNumber,
                                    const platform::CancelFlag* cancel) {
    ScannerConnection c;
    c.port = portNumber;
    SerialPortProbeLine line(port, portNumber, cancel);
    const ScannerRate probed = detectScannerRate(line, kScannerRates);
    if (probed.openError) {
        c.message =
            ConfigurationMessage{std::string(kErrorCaption), std::string(kCannotOpenComport),
                                 platform::Report::Severity::Error};
        return c;
    }
    if (probed.cancelled) {
        c.cancelled = true;
        return c;
    }
    if (!probed.found) return c;
    if (!line.open(probed.rate)) {
        c.message =
            ConfigurationMessage{std::string(kErrorCaption), std::string(kCannotOpenComport),
                                 platform::Report::Severity::Error};
        return c;
    }
    for (std::uint8_t b : kReady) line.writeByte(b);
    if (!line.wait(kReadyWait)) {
        line.close();
        c.cancelled = true;
        return c;
    }
    // The whole answer goes, so nothing of it reads as the configuration's acknowledgement.
    port.Purge();
    c.found = true;
    c.rate = probed.rate;
    c.severalAnswered = probed.severalAnswered;
    return c;
}

int portNumberOfEntry(std::string_view entry) {
    const auto at = entry.find("COM");
    if (at == std::string_view::npos) return 0;
    // The digits end at the closing parenthesis; a bare "COMn" (a port without a display name)
    // ends with them.
    int n = 0;
    for (std::size_t i = at + 3; i < entry.size() && n < 100000; ++i) {
        const char c = entry[i];
        if (c < '0' || c > '9') break;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::optional<std::size_t> findPortEntry(const std::vector<std::string>& entries,
                                         std::string_view name) {
    if (name.empty() || entries.empty()) return std::nullopt;
    for (std::size_t k = 1; k <= entries.size(); ++k) {
        const std::size_t i = k % entries.size();
        if (startsWithIgnoringCase(entries[i], name)) return i;
    }
    return std::nullopt;
}

}  // namespace fenwald
