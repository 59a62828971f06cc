// lrzsz on the far end of a COM port: `rz --ymodem` or `sz --ymodem` as the other side of the
// transfer component's line.
//
// The port registered as COM n is one pseudo-terminal; lrzsz has a second one as its
// standard input and output, and two relay threads carry the bytes between the two. The
// second line runs paced at 921600 baud, because lrzsz drops its input right after each
// answer it sends, which on a wire comes before the next block has arrived.
#pragma once

#include <string>
#include <vector>

#include "platform/worker.h"
#include "sim/sim_line.h"

namespace testpeer {

class LrzszPeer {
public:
    LrzszPeer() = default;
    ~LrzszPeer();
    LrzszPeer(const LrzszPeer&) = delete;
    LrzszPeer& operator=(const LrzszPeer&) = delete;

    // Creates both lines and registers the first as COM com in the port map file.
    bool open(const std::string& mapFile, int com);
    // Starts lrzsz ("rz" or "sz" and its arguments) in folder; "" when it is not installed.
    bool start(const std::vector<std::string>& args, const std::string& folder);
    // Its exit status, or -1 when it did not end within the limit.
    int wait(int seconds = 60);
    std::string log() const;
    // Waits until the component has opened its end and set this baud rate on it (an end that
    // is closed goes back to the rate it had before).
    bool waitForComponentRate(unsigned baudRate) const;
    // What lrzsz sends reaches the component at the wire speed of the component's settings.
    void paceTowardsComponent(bool on) { near_.setPacing(on); }
    // Everything the component sent towards lrzsz, in order (what the relay read from the
    // component's line; lrzsz need not run).
    sim::Bytes toPeer() const { return near_.received(); }

    static std::string program(const std::string& name);  // its path, or ""

private:
    void relay(sim::SimLine& from, sim::SimLine& to, std::stop_token stop);
    sim::SimLine near_, far_;
    platform::Worker out_, in_;
    int pid_ = -1;
    std::string log_;
};

}  // namespace testpeer
