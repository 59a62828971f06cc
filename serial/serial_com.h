// CSerialCom: one COM port, opened exclusively, with reads and writes that block for at most
// one second each.
//
// Open(n) resolves COM n through the port map (serial/port_open.h). After Open no flow control
// is active and DTR and RTS are raised; baud rate, data bits, parity and stop bits stay as the
// driver had them until the caller sets them (Windows codes: parity 0 none .. 4 space, stop
// bits 0 one, 1 one and a half, 2 two), and Close puts them back as they were. The four line
// setters each change one value; SetLineSettings changes them all in one step, which a caller
// that sets several uses so no state in between has to be valid. Read(n) returns n or 0: it takes
// nothing until all n bytes are queued, so a read that times out leaves the bytes for the next one.
//
// Threads: one thread may read while another writes; Open and Close must not race with a
// transfer. Errors: every call reports by its result; LastError() keeps the system's reason
// for the caller's message.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/modem_lines.h"
#include "platform/serial_device.h"

class CSerialCom {
public:
    static constexpr int kWaitTimeMs = 1000;
    static constexpr unsigned kQueueSize = 2048;

    CSerialCom();
    virtual ~CSerialCom();
    CSerialCom(const CSerialCom&) = delete;
    CSerialCom& operator=(const CSerialCom&) = delete;

    bool Open(int portNumber);
    void Close();
    bool IsOpen() const { return device_.isOpen(); }

    int Read(void* buffer, int count);
    bool Write(const void* buffer, int count);
    bool Purge();
    unsigned BytesWaiting() const;
    unsigned BytesPending() const;
    // Waits up to waitMs for a byte to be queued, consuming nothing: false on time-out, when not
    // open and when the line failed (LineLost tells which). A receive loop waits here rather than
    // sleeping, so it sees a byte as soon as it comes and costs nothing while the line is quiet.
    bool WaitReadable(int waitMs);
    // The device went away under the open line (see platform::SerialDevice::hungUp).
    bool LineLost() const { return device_.hungUp(); }

    bool SetBaudRate(unsigned baudRate);
    bool SetByteSize(std::uint8_t dataBits);
    bool SetParity(std::uint8_t parity);
    bool SetStopBits(std::uint8_t stopBits);
    bool SetLineSettings(const platform::LineSettings& settings);
    bool SetBufferSizes(unsigned inputSize, unsigned outputSize);

    void SetDTR(bool on);
    bool GetDTR() const { return dtr_; }
    void SetRTS(bool on);
    bool GetRTS() const { return rts_; }
    bool GetCTS();
    bool GetDSR();

    int GetHandle() const { return device_.fd(); }  // -1 when closed
    // The open device itself, for a transfer protocol that waits on the line its own way.
    platform::SerialDevice& device() { return device_; }
    int GetPortNumber() const { return IsOpen() ? port_ : 0; }

    void ProgramIrDAAdapter(int adapterType, unsigned baudRate);

    platform::SystemError LastError() const;
    // Why the last Open failed and what the user can do about it, in one line.
    std::string OpenFailureAdvice() const;
    // The modem lines used for DTR/RTS, status and IrDA pauses; null restores the device's
    // own. The object must outlive the connection's use of it.
    void SetModemLines(platform::ModemLines* lines) { seam_ = lines; }

private:
    template <class Change>
    bool changeLine(Change change);
    platform::ModemLines& lines() { return seam_ ? *seam_ : deviceLines_; }

    platform::SerialDevice device_;
    platform::DeviceModemLines deviceLines_{device_};
    platform::ModemLines* seam_ = nullptr;
    platform::SystemError openError_;
    std::string openAdvice_;
    std::optional<platform::LineSettings> original_;  // as the driver had them at Open
    int port_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
};
