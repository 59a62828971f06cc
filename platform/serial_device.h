// A serial device opened exclusively, with bounded waits.
//
// How it works: the device is opened non-blocking and raw; every wait is a poll() bounded by
// a Deadline. readExact() consumes nothing until the whole count is queued, so a read that
// times out loses no data. The line settings keep the Windows codes (parity 0 none, 1 odd,
// 2 even, 3 mark, 4 space; stop bits 0 one, 1 one and a half, 2 two); any baud rate the
// driver accepts can be set.
//
// Threads: one thread may read while another writes; the queue counts may be called from
// either. open() and close() must not race with a transfer.
// Errors: calls return false/0 and keep the system's reason in lastError().
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/system_error.h"

namespace platform {

namespace parity {
constexpr std::uint8_t None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4;
}
namespace stopbits {
constexpr std::uint8_t One = 0, OneAndHalf = 1, Two = 2;
}

struct LineSettings {
    unsigned baudRate = 9600;
    std::uint8_t dataBits = 8;
    std::uint8_t parity = parity::None;
    std::uint8_t stopBits = stopbits::One;
    bool operator==(const LineSettings&) const = default;
};

struct FlowControl {
    bool rtsCts = false;  // hardware handshake
    bool xonXoffOut = false;
    bool xonXoffIn = false;
    bool any() const { return rtsCts || xonXoffOut || xonXoffIn; }
};

// Line settings and flow control of any terminal fd (a pseudo-terminal master reports those
// of its slave end; a pseudo-terminal carries baud rate and stop bits, but always reports
// 8 data bits without parity).
std::optional<LineSettings> readLineSettings(int fd);
std::optional<FlowControl> readFlowControl(int fd);
bool writeFlowControl(int fd, const FlowControl& flow);
// Seconds one character takes on the wire at these settings (start, data, parity, stop bits).
double characterTime(const LineSettings& s);

enum class ModemLine { Dtr, Rts };
struct ModemStatus {
    bool cts = false, dsr = false, ring = false, dcd = false;
};

class SerialDevice {
public:
    SerialDevice() = default;
    ~SerialDevice();
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens exclusively and puts the line in raw mode with no flow control. Fails when the
    // device is held by another open (any process, this one included).
    bool open(const std::string& devicePath);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    SystemError lastError() const;

    std::optional<LineSettings> lineSettings() const;
    bool setLineSettings(const LineSettings& s);
    bool setFlowControl(const FlowControl& f);

    // Waits until count bytes are queued, then takes them. 0 on time-out or error; nothing
    // is consumed then. A negative wait means no limit.
    std::size_t readExact(void* buffer, std::size_t count, std::chrono::milliseconds wait);
    // Takes what is queued, up to max, without waiting.
    std::size_t readAvailable(void* buffer, std::size_t max);
    // Waits until at least one byte is queued.
    bool waitReadable(std::chrono::milliseconds wait);
    // Hands all bytes to the driver, waiting for room within the wait. Returns the count
    // handed over (less than count on time-out or error).
    std::size_t write(const void* data, std::size_t count, std::chrono::milliseconds wait);
    // Waits until the driver has sent everything handed to it.
    bool drain(std::chrono::milliseconds wait);

    // The far end hung up (a USB adapter unplugged, a pseudo-terminal's master closed) and
    // nothing is left to read: the line will not carry anything again.
    bool hungUp() const;

    unsigned bytesWaiting() const;  // input queue count
    unsigned bytesPending() const;  // output queue count
    bool purge();                   // discards both queues

    // Modem lines: false where the line has none (a pseudo-terminal); never an error that
    // closes anything.
    bool setModemLine(ModemLine line, bool on);
    std::optional<ModemStatus> modemStatus() const;

private:
    bool openUntraced(const std::string& devicePath);
    bool setLineSettingsUntraced(const LineSettings& s);
    void fail(int e, std::string detail = {});
    int fd_ = -1;
    std::string path_;
    mutable std::mutex stateLock_;  // a reader and a writer thread may both get here
    SystemError error_;
    // What was last set. A pseudo-terminal always reports 8 data bits without parity, so
    // those two are reported as set; baud rate and stop bits are read from the driver.
    std::optional<LineSettings> requested_;
};

// Which process holds a device open, as "name (pid n)", or empty when none can be named.
std::string deviceHolder(const std::string& devicePath);

}  // namespace platform
