#include "tests/installer/lrzsz_peer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/port_map.h"
#include "platform/serial_device.h"
#include "tests/support/child_program.h"
#include "tests/support/test_env.h"

namespace testpeer {

using namespace std::chrono_literals;

LrzszPeer::~LrzszPeer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    out_.stop();
    in_.stop();
}

bool LrzszPeer::open(const std::string& mapFile, int com) {
    if (!near_.open() || !far_.open()) return false;
    platform::SerialDevice rate;
    if (!rate.open(far_.devicePath()) || !rate.setLineSettings({921600})) return false;
    rate.close();
    far_.setPacing(true);
    if (!platform::registerPort(mapFile, {com, near_.devicePath(), "lrzsz", false})) return false;
    return out_.start([this](std::stop_token st) { relay(near_, far_, st); }) &&
           in_.start([this](std::stop_token st) { relay(far_, near_, st); });
}

void LrzszPeer::relay(sim::SimLine& from, sim::SimLine& to, std::stop_token stop) {
    std::uint8_t buffer[4096];
    while (!stop.stop_requested()) {
        std::size_t n = from.read(buffer, sizeof buffer, 20ms);
        if (n > 0) to.send(buffer, n);
    }
}

std::string LrzszPeer::program(const std::string& name) {
    for (const std::string& candidate : {"/usr/bin/" + name, "/usr/bin/l" + name})
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    return {};
}

bool LrzszPeer::start(const std::vector<std::string>& args, const std::string& folder) {
    std::string path = program(args.front());
    if (path.empty()) return false;
    log_ = folder + "/../lrzsz.log";
    std::vector<std::string> a = args;
    a.front() = path;
    pid_ = testenv::startOnTerminal(std::move(a), far_.devicePath(), folder, log_);
    return pid_ > 0;
}

int LrzszPeer::wait(int seconds) {
    return testenv::waitForExit(pid_, std::chrono::seconds(seconds));
}

bool LrzszPeer::waitForComponentRate(unsigned baudRate) const {
    return testenv::eventually([&] {
        auto s = near_.programSettings();
        return s && s->baudRate == baudRate;
    });
}

std::string LrzszPeer::log() const {
    return testenv::readFile(log_);
}

}  // namespace testpeer
