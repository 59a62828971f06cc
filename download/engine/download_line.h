// The download tool's serial line, on platform::SerialDevice.
//
// Principles: the line is opened by COM number through the port map, twice over (the first
// opening is configured and closed again), at the requested speed with 8 data bits, no parity,
// one stop bit, DTR off and RTS on. Transfers follow the overlapped pattern the protocol is
// written in: start a read of a fixed count, start a write, then wait for each with its own
// bound. While a read is awaited, the rest of a write that has not completed keeps going out,
// so the device always receives whole frames. Received bytes are gathered in an input buffer
// and a read takes nothing from it until its whole count is there; a read whose wait ended is
// simply dropped, and discardInput() throws away whatever a dropped read would have received
// before the next exchange begins. Every wait ends early when the cancel flag is set, and at
// once when the line has gone away.
//
// Threads: used by the worker thread only; the cancel flag is the one thing another thread
// touches.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/cancel_flag.h"
#include "platform/serial_device.h"

namespace kolvane {

using std::chrono::milliseconds;

enum class WaitResult {
    Done,
    TimedOut,
    Cancelled,  // the cancel flag was set during the wait
    Failed,     // the line is closed or has gone away
};

class DownloadLine {
public:
    static constexpr milliseconds kWait{7000};

    explicit DownloadLine(const platform::CancelFlag& cancel) : cancel_(cancel) {}
    DownloadLine(const DownloadLine&) = delete;
    DownloadLine& operator=(const DownloadLine&) = delete;

    // Closes any line already open first. False when COM port is not in the port map, is
    // held by another program, or refuses the speed; openError() says which.
    bool open(int port, unsigned baudRate);
    const platform::SystemError& openError() const { return openError_; }
    void close();
    bool isOpen() const { return device_.isOpen(); }

    // Overlapped style. startRead fails only when no line is open.
    bool startRead(std::size_t count);
    void startWrite(const std::uint8_t* data, std::size_t count);
    WaitResult waitWrite(milliseconds wait);
    // On Done, out holds the count bytes of the started read.
    WaitResult waitRead(milliseconds wait, std::uint8_t* out);

    // Write and Read as one call each.
    WaitResult write(const void* data, std::size_t count, milliseconds wait = kWait);
    WaitResult read(void* buffer, std::size_t count, milliseconds wait);

    // Drops every byte already received.
    void discardInput();

private:
    WaitResult pushWrite(milliseconds slice);
    bool fillInput();  // moves what the driver holds into in_; true when something came
    bool writing() const { return outPos_ < out_.size(); }

    const platform::CancelFlag& cancel_;
    platform::SerialDevice device_;
    platform::SystemError openError_;
    std::vector<std::uint8_t> out_;
    std::size_t outPos_ = 0;
    std::size_t readCount_ = 0;
    std::vector<std::uint8_t> in_;
    std::size_t inPos_ = 0;
};

}  // namespace kolvane
