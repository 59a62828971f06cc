// Reports COM ports coming and going: the port map file is watched (a line added is an
// arrival of that number, a line removed a removal) and, unless VELTRIX_PORTS makes the map
// the only source, udev's tty devices too.
//
// Threads: the callback runs on the watcher's own thread; a window hands it over to its own
// thread. stop() (and the destructor) returns only after the thread has ended, so the
// callback never runs after it.
#pragma once

#include <functional>
#include <set>
#include <string>

#include "platform/worker.h"

struct udev;
struct udev_monitor;

namespace platform {

struct PortChange {
    enum Kind { Arrival, Removal } kind;
    int number;
};

class DeviceWatcher {
public:
    using Callback = std::function<void(const PortChange&)>;
    explicit DeviceWatcher(Callback callback);
    ~DeviceWatcher();
    DeviceWatcher(const DeviceWatcher&) = delete;
    DeviceWatcher& operator=(const DeviceWatcher&) = delete;

    bool start();
    void stop();
    bool running() const { return worker_.running(); }

private:
    void run(const std::string& mapName);
    void rescan();
    Callback callback_;
    int stopFd_ = -1;
    int inotifyFd_ = -1;
    ::udev* udev_ = nullptr;
    ::udev_monitor* monitor_ = nullptr;
    std::set<int> known_;
    Worker worker_;  // last: stops before the descriptors it polls go away
};

}  // namespace platform
