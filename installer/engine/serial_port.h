// CSerialPort: the configuration dialog's small synchronous serial line. Every failure throws a
// CSerialException carrying the Windows system error code the windows show (2 for a port that
// does not exist, 5 for one another program holds or the user may not open, ...).
//
// Open(n, ...) resolves COM n through the port map (serial/port_open.h) and sets the line in one
// step from the class's own codes: parity 0 even, 1 mark, 2 none, 3 odd, 4 space; stop bits
// 0 one, 1 one and a half, 2 two; flow control 0 none, 1 CTS/RTS, 2 CTS/DTR, 3 DSR/RTS,
// 4 DSR/DTR, 5 XON/XOFF. A code above its table leaves that setting as the open left it (the
// device layer opens raw with no flow control, so "as it was" means none for flow control).
// termios has one hardware handshake, CTS for output with RTS for input (CRTSCTS), and none on
// DSR or DTR: CTS/DTR gets CRTSCTS (its CTS half is exact; the input handshake goes out on RTS),
// the two DSR modes get no hardware handshake, since output held by a line nobody drives would
// never leave. XON/XOFF uses the driver's DC1/DC3 characters and its own buffer limits.
//
// Read and Write block the calling thread within the time-outs of a SerialTimeouts record,
// which follow the Windows rules: a total of multiplier x count + constant milliseconds (0 and 0:
// no limit), and for reads an interval between two bytes (0: not used). After SetImmediateRead
// (interval 0xFFFFFFFF, read total 0 and 0) Read returns at once with what has arrived, possibly
// nothing. Every Open starts with all time-outs 0, so a Read waits until its count has arrived.
// A Write returns once its bytes have left the driver (or its time-out ends), so a wait for the
// answer starts when the last byte is on the wire.
//
// Threads: not thread-safe; one thread uses an object at a time.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/serial_device.h"
#include "platform/system_error.h"

namespace fenwald {

// The line's settings as termios keeps them.
struct SerialState {
    platform::LineSettings line;
    platform::FlowControl flow;
};

// Milliseconds; kTimeoutMax is the Windows MAXDWORD.
struct SerialTimeouts {
    static constexpr std::uint32_t kTimeoutMax = 0xFFFFFFFF;
    std::uint32_t readInterval = 0;
    std::uint32_t readTotalMultiplier = 0;
    std::uint32_t readTotalConstant = 0;
    std::uint32_t writeTotalMultiplier = 0;
    std::uint32_t writeTotalConstant = 0;
    bool operator==(const SerialTimeouts&) const = default;
};

}  // namespace fenwald

// Thrown by value, not as a heap object the catcher deletes: then there is no ownership to lose.
// Catch it by reference.
class CSerialException : public std::exception {
public:
    // The code alone; the text is the system's for the errno that stands for it.
    explicit CSerialException(std::uint32_t errorCode);
    // A failure with the system's reason, kept for the text.
    explicit CSerialException(platform::SystemError reason);
    // COM n could not be opened: the text then says what to do about it.
    static CSerialException openFailure(platform::SystemError reason, int portNumber);

    std::uint32_t errorCode() const { return errorCode_; }
    const platform::SystemError& reason() const { return reason_; }

    // The text: the system's for the code, and for an open failure the advice on a second line.
    // At most size - 1 characters and a terminator; false with an empty text when the code has
    // no text (or there is no room for one). helpContext, when given, is set to 0.
    virtual bool GetErrorMessage(char* buffer, unsigned size,
                                 unsigned* helpContext = nullptr) const;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::uint32_t errorCode_ = 0;
    platform::SystemError reason_;
    std::string message_;
};

class CSerialPort {
public:
    static constexpr int kParityEven = 0, kParityMark = 1, kParityNone = 2, kParityOdd = 3,
                         kParitySpace = 4;
    static constexpr int kOneStopBit = 0, kOne5StopBits = 1, kTwoStopBits = 2;
    static constexpr int kNoFlowControl = 0, kCtsRtsFlowControl = 1, kCtsDtrFlowControl = 2,
                         kDsrRtsFlowControl = 3, kDsrDtrFlowControl = 4, kXonXoffFlowControl = 5;

    CSerialPort() = default;
    virtual ~CSerialPort();
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Expects a closed object. A failure after the device opened (a setting the driver refuses)
    // throws with the line left open; Close releases it.
    void Open(int portNumber, unsigned baudRate = 9600, int parity = kParityNone,
              std::uint8_t dataBits = 8, int stopBits = kOneStopBit,
              int flowControl = kNoFlowControl);
    void Close();  // nothing when closed
    bool IsOpen() const { return device_.isOpen(); }

    // Virtual so a test can count the calls on a real line. The count of bytes moved; a time-out
    // is no failure.
    virtual int Read(void* buffer, int count);
    virtual int Write(const void* buffer, int count);

    void GetState(fenwald::SerialState& state) const;
    void SetState(const fenwald::SerialState& state, bool closeOnFailure = true);
    void GetTimeouts(fenwald::SerialTimeouts& timeouts) const;
    void SetTimeouts(const fenwald::SerialTimeouts& timeouts);
    void SetImmediateRead();
    // Drops what has arrived and not been read: bytes that were waiting before a job began.
    void Purge();

private:
    void requireOpen() const;
    // Takes what is queued, up to max; throws when the line has gone.
    std::size_t takeQueued(unsigned char* buffer, std::size_t max);

    platform::SerialDevice device_;
    fenwald::SerialTimeouts timeouts_;
};
