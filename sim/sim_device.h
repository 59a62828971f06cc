// A simulated device: a SimLine registered in a port map file as COM n, served by the
// device's own thread.
//
// A subclass implements serve(), which runs on the device thread until the stop token is
// set or the line closes, and must call stop() in its own destructor so the thread has
// ended before the subclass's members go away.
#pragma once

#include <stop_token>
#include <string>
#include <vector>

#include "platform/worker.h"

#include "sim/sim_line.h"

namespace sim {

class SimDevice {
public:
    SimDevice() = default;
    virtual ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // Creates the line, adds "COM<com> <path> <displayName>" to the map file, starts serving.
    bool start(const std::string& mapFile, int com, const std::string& displayName);
    // Stops serving, removes the port from the map and closes the line.
    void stop();
    // The line vanishes as an unplugged adapter would: closed and gone from the map, while
    // the device object lives on.
    void vanish();

    // A control command, from a test or the simulator's standard input. The base knows
    // "pace on|off", "silent on|off", "garbage HEX..." and "vanish"; devices add theirs.
    // Returns the answer to print, or an error text starting with "error:".
    virtual std::string command(const std::string& text);

    SimLine& line() { return line_; }
    int com() const { return com_; }

protected:
    virtual void serve(std::stop_token stop) = 0;

private:
    void unregister();
    SimLine line_;
    platform::Worker worker_;
    std::string mapFile_;
    int com_ = 0;
};

}  // namespace sim
