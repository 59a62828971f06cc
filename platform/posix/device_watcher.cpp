#include "platform/device_watcher.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdint>

#include "platform/folders.h"
#include "platform/port_map.h"

namespace platform {

namespace {

std::set<int> currentNumbers() {
    std::set<int> numbers;
    for (const auto& p : listPorts().ports) numbers.insert(p.number);
    return numbers;
}

}  // namespace

DeviceWatcher::DeviceWatcher(Callback callback) : callback_(std::move(callback)) {}

DeviceWatcher::~DeviceWatcher() {
    stop();
}

bool DeviceWatcher::start() {
    if (running()) return true;
    stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (stopFd_ < 0) return false;
    // Watch first, then take the first picture, so no change falls between the two.
    const std::string mapFile = portMapPath();
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd_ >= 0) {
        std::string folder = parentFolder(mapFile);
        createDirectories(folder);
        ::inotify_add_watch(inotifyFd_, folder.c_str(),
                            IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_DELETE | IN_CREATE);
    }
    if (!portMapIsExclusive()) {
        udev_ = udev_new();
        if (udev_) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
        if (monitor_) {
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, "tty", nullptr);
            if (udev_monitor_enable_receiving(monitor_) < 0) {
                udev_monitor_unref(monitor_);
                monitor_ = nullptr;
            }
        }
    }
    known_ = currentNumbers();
    // The thread sleeps in poll(); the stop request wakes it through its own descriptor.
    worker_.setStopHook([fd = stopFd_] {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t w = ::write(fd, &one, sizeof one);
    });
    if (!worker_.start([this, name = fileNameOf(mapFile)](std::stop_token) { run(name); })) {
        stop();
        return false;
    }
    return true;
}

void DeviceWatcher::stop() {
    if (stopFd_ < 0) return;
    worker_.stop();
    ::close(stopFd_);
    stopFd_ = -1;
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
    if (inotifyFd_ >= 0) ::close(inotifyFd_);
    monitor_ = nullptr;
    udev_ = nullptr;
    inotifyFd_ = -1;
}

void DeviceWatcher::rescan() {
    std::set<int> now = currentNumbers();
    for (int n : known_)
        if (!now.count(n)) callback_({PortChange::Removal, n});
    for (int n : now)
        if (!known_.count(n)) callback_({PortChange::Arrival, n});
    known_ = std::move(now);
}

void DeviceWatcher::run(const std::string& mapName) {
    for (;;) {
        pollfd fds[3] = {{stopFd_, POLLIN, 0},
                         {inotifyFd_, POLLIN, 0},
                         {monitor_ ? udev_monitor_get_fd(monitor_) : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) continue;
        if (fds[0].revents) break;
        bool changed = false;
        if (fds[1].revents & POLLIN) {
            alignas(inotify_event) char buf[4096];
            ssize_t n;
            while ((n = ::read(inotifyFd_, buf, sizeof buf)) > 0) {
                for (char* p = buf; p < buf + n;) {
                    auto* ev = reinterpret_cast<inotify_event*>(p);
                    if (ev->len > 0 && mapName == ev->name) changed = true;
                    p += sizeof(inotify_event) + ev->len;
                }
            }
        }
        if (fds[2].revents & POLLIN) {
            while (udev_device* d = udev_monitor_receive_device(monitor_)) {
                udev_device_unref(d);
                changed = true;
            }
        }
        if (changed) rescan();
    }
}

}  // namespace platform
