#include "serial/port_open.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/port_map.h"

namespace serial {

namespace {

std::string comName(int n) {
    return "COM" + std::to_string(n);
}

std::string deviceGroup(const std::string& devicePath) {
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) == 0)
        if (const struct group* g = ::getgrgid(st.st_gid)) return g->gr_name;
    return "dialout";
}

std::string inUse(const std::string& who, const std::string& devicePath) {
    std::string holder = platform::deviceHolder(devicePath);
    if (holder.empty()) return who + " is in use by another program: close it first.";
    return who + " is in use by " + holder + ": close that program first.";
}

}  // namespace

platform::SystemError openComPort(platform::SerialDevice& device, int portNumber) {
    auto port = platform::findPort(portNumber);
    if (!port)
        return platform::SystemError::fromCode(ENOENT,
                                               comName(portNumber) + " is not in the port map");
    if (!device.open(port->devicePath)) return device.lastError();
    return {};
}

std::string cannotOpenAdvice(const platform::SystemError& error, const std::string& devicePath) {
    switch (error.osCode) {
        case 0:
            return {};
        case EACCES:
        case EPERM: {
            std::string group = deviceGroup(devicePath);
            return devicePath + ": permission denied. Join the group '" + group +
                   "' (sudo usermod -aG " + group + " $USER) and log in again.";
        }
        case EBUSY:
            return inUse(devicePath, devicePath);
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return devicePath +
                   " is not there. Check that the device is plugged in and the port map is right.";
        case ENOTTY:
        case EISDIR:
            return devicePath + " is not a serial port. Check the port map.";
        default:
            return devicePath + ": " + error.text + ".";
    }
}

std::string cannotOpenAdvice(const platform::SystemError& error, int portNumber) {
    if (!error) return {};
    auto port = platform::findPort(portNumber);
    if (!port)
        return comName(portNumber) + " is not in the port map " + platform::portMapPath() +
               ". Check that the device is plugged in.";
    // The user knows the port by its number.
    if (error.osCode == EBUSY) return inUse(comName(portNumber), port->devicePath);
    return cannotOpenAdvice(error, port->devicePath);
}

}  // namespace serial
