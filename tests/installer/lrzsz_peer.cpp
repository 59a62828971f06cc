#include "tests/installer/lrzsz_peer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/port_map.h"
#include "platform/serial_device.h"
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
    out_.start([this](std::stop_token st) { relay(near_, far_, st); });
    in_.start([this](std::stop_token st) { relay(far_, near_, st); });
    return true;
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
    const std::string tty = far_.devicePath();
    pid_ = ::fork();
    if (pid_ == 0) {
        ::setsid();
        int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY);
        int log = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::chdir(folder.c_str()) != 0) ::_exit(126);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        ::dup2(log, 2);
        std::vector<std::string> a = args;
        a.front() = path;
        std::vector<char*> argv;
        for (auto& s : a) argv.push_back(s.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid_ > 0;
}

int LrzszPeer::wait(int seconds) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    return -1;
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
