// The device's end of a simulated serial line: a pseudo-terminal whose other end (the slave,
// devicePath()) the program opens as its COM port.
//
// What the program set on its end (baud rate, data bits, parity, stop bits, flow control) is
// read from here. With pacing on, bytes take their wire time in both directions at the
// program's line settings: what the device sends arrives no faster than the line carries it,
// and what the program sends reaches the device only when its last bit would have.
// Faults: silence (nothing is sent), raw bytes sent around the device's logic, and the line
// vanishing (both ends closed, as an unplugged adapter).
//
// Threads: the device thread reads and sends; any thread may read the received log, change
// the fault switches or close the line.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_device.h"

namespace sim {

using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

class SimLine {
public:
    SimLine() = default;
    ~SimLine();
    SimLine(const SimLine&) = delete;
    SimLine& operator=(const SimLine&) = delete;

    bool open();
    void close();  // the line vanishes
    bool isOpen() const { return master_.load() >= 0; }
    const std::string& devicePath() const { return slavePath_; }

    std::optional<platform::LineSettings> programSettings() const;
    std::optional<platform::FlowControl> programFlowControl() const;
    bool setProgramFlowControl(const platform::FlowControl& flow);

    void setPacing(bool on);
    bool pacing() const { return pacing_; }
    void setSilent(bool on) { silent_ = on; }
    bool silent() const { return silent_; }

    // Up to max bytes from the program, waiting for the first; 0 on time-out or when the
    // line is closed.
    std::size_t read(void* buffer, std::size_t max, milliseconds wait);
    // Exactly count bytes, or false on time-out (the bytes read so far are lost).
    bool readExact(void* buffer, std::size_t count, milliseconds wait);
    std::optional<std::uint8_t> readByte(milliseconds wait);

    // Sends to the program (paced when pacing is on); nothing goes out while silent.
    // False when the line is closed.
    bool send(const void* data, std::size_t count);
    bool send(std::string_view text) { return send(text.data(), text.size()); }
    bool send(const Bytes& bytes) { return send(bytes.data(), bytes.size()); }
    // Sends whatever silence says: garbage injection.
    bool sendRaw(const void* data, std::size_t count);

    // Everything the program sent, in order, since open() or clearReceived().
    Bytes received() const;
    void clearReceived();
    // Waits until the received log holds at least count bytes.
    bool waitReceived(std::size_t count, milliseconds wait) const;

private:
    double characterTime() const;
    bool sendChunks(const std::uint8_t* data, std::size_t count);

    std::atomic<int> master_{-1};
    int slave_ = -1;  // kept open so the line keeps its settings between the program's opens
    std::string slavePath_;
    std::mutex fdLock_;  // guards the fds' lifetime against close()
    std::atomic<bool> pacing_{false};
    std::atomic<bool> silent_{false};
    std::chrono::steady_clock::time_point rxClock_{}, txClock_{};
    // How late the device thread's sleeps end, in nanoseconds, a running mean for each kind:
    // after a command, before a send's first bytes, before the bytes after them. They differ by
    // several microseconds, and one mean would send a reply's last byte early.
    std::atomic<long long> rxLateness_{0}, txFirstLateness_{0}, txLateness_{0};

    mutable std::mutex logLock_;
    mutable std::condition_variable logChanged_;
    Bytes received_;
};

}  // namespace sim
