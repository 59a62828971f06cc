// Finding the scanner for the configuration dialog and `fenwald configure`: the shared probe
// (scanner_probe.h) on CSerialPort, then ESC "B" CR at the rate found with its answer read
// and dropped after 200 ms, so the scanner is ready for a configuration; the line then stays
// open. Also the two small rules of the dialog's scanner list: which COM number an entry names
// and which entry a remembered name selects.
//
// Threads: the caller's, which it blocks (about 1.6 s when nobody answers); the cancel flag
// ends the waits early. Errors: a port that cannot be opened is in the result; a read or write
// that fails on an open line throws CSerialException.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "installer/engine/configuration_file.h"
#include "installer/engine/scanner_probe.h"
#include "installer/engine/serial_port.h"
#include "platform/cancel_flag.h"

namespace fenwald {

constexpr std::chrono::milliseconds kReadyWait{200};
constexpr std::string_view kCannotOpenComport = "Cannot open comport.";
constexpr std::string_view kSeveralRatesLabel = "N/A";
// The rate label when no rate answered on the chosen port.
constexpr std::string_view kNoScannerFound = "No scanner found";

// The probe's line: COM port `portNumber` through CSerialPort, 8N1, no flow control, immediate
// reads. port must outlive it; the line is left as the last open() or close() left it.
class SerialPortProbeLine final : public ProbeLine {
public:
    SerialPortProbeLine(CSerialPort& port, int portNumber,
                        const platform::CancelFlag* cancel = nullptr)
        : port_(port), portNumber_(portNumber), cancel_(cancel) {}

    bool open(unsigned baudRate) override;
    bool writeByte(std::uint8_t byte) override;
    std::optional<std::uint8_t> readArrivedByte() override;
    void close() override;
    bool wait(std::chrono::milliseconds duration) override;

private:
    CSerialPort& port_;
    int portNumber_;
    const platform::CancelFlag* cancel_;
};

struct ScannerConnection {
    bool found = false;
    int port = 0;
    unsigned rate = 0;
    bool severalAnswered = false;
    bool cancelled = false;
    // " Error" / "Cannot open comport." when the port could not be opened.
    std::optional<ConfigurationMessage> message;

    // "COM 3", and "9600 bps" or "N/A", as the dialog's labels read.
    std::string portLabel() const;
    std::string rateLabel() const;
};

// Closes the line first; on success it is open at the rate found.
ScannerConnection DetectScannerRate(CSerialPort& port, int portNumber,
                                    const platform::CancelFlag* cancel = nullptr);

// The decimal number after the first "COM" of a list entry: "USB Serial Port (COM12)" and
// "COM12" give 12; 0 when there is none.
int portNumberOfEntry(std::string_view entry);

// The entry a remembered name selects in a sorted list: the first whose beginning is the name,
// letter case ignored, searched from the second entry on and then the first; none for an empty
// name.
std::optional<std::size_t> findPortEntry(const std::vector<std::string>& entries,
                                         std::string_view name);

}  // namespace fenwald
