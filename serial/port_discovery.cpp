#include "serial/port_discovery.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "platform/port_map.h"
#include "platform/serial_device.h"

namespace {

constexpr std::size_t kMaxNameLength = 127;

std::mutex& currentNameLock() {
    static std::mutex m;
    return m;
}
std::string& currentName() {
    static std::string name;
    return name;
}

}  // namespace

int ListPortsForMenu(std::vector<PortEntry>& list, serial::PortOrder order) {
    list.clear();
    for (const auto& p : platform::listPorts().ports) {
        PortEntry e{p.number, p.displayName.substr(0, kMaxNameLength)};
        if (order == serial::PortOrder::AsFound) {
            list.push_back(std::move(e));
            continue;
        }
        if (e.name.empty()) e.name = "COM" + std::to_string(p.number);
        auto at = std::lower_bound(list.begin(), list.end(), e.number,
                                   [](const PortEntry& a, int n) { return a.number < n; });
        if (at == list.end() || at->number != e.number) list.insert(at, std::move(e));
    }
    return static_cast<int>(list.size());
}

std::string ListSerialPorts(std::vector<SSerInfo>& records, bool skipUnopenable) {
    records.clear();
    platform::PortList found = platform::listPorts();
    for (const auto& p : found.ports) {
        SSerInfo r;
        r.devicePath = p.devicePath;
        r.portName = "COM" + std::to_string(p.number);
        r.friendlyName = p.displayName;
        r.isUsb = p.isUsb;
        records.push_back(std::move(r));
    }
    for (auto it = records.begin(); it != records.end();) {
        if (skipUnopenable) {
            platform::SerialDevice probe;
            if (!probe.open(it->devicePath)) {
                it = records.erase(it);
                continue;
            }
        }
        if (it->friendlyName.empty()) it->friendlyName = it->portName;
        if (it->portDescription.empty())
            it->portDescription = serial::portDescriptionOf(it->friendlyName);
        ++it;
    }
    if (found.error) {
        char text[96];
        std::snprintf(text, sizeof text, "SetupDiGetClassDevs failed. (err=%lx)",
                      static_cast<unsigned long>(found.error.windowsCode()));
        return text;
    }
    return {};
}

namespace serial {

std::string portDescriptionOf(const std::string& friendlyName) {
    auto open = friendlyName.find(" (");
    auto close = friendlyName.find(')');
    if (open != std::string::npos && open > 0 && close == friendlyName.size() - 1)
        return friendlyName.substr(0, open);
    return friendlyName;
}

std::string currentPortName() {
    std::lock_guard l(currentNameLock());
    return currentName();
}

void setCurrentPortName(const std::string& name) {
    std::lock_guard l(currentNameLock());
    currentName() = name;
}

}  // namespace serial
