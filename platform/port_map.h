// The port map ties COM port numbers, the programs' port identity, to devices.
//
// The map is a text file, one port a line: "COM<n> <device path> [display name ...]"; '#'
// starts a comment. When VELTRIX_PORTS names a map file, the ports listed there are the only
// ones that exist. Otherwise the map is $XDG_CONFIG_HOME/veltrix/ports and the serial devices
// found by udev are added to it on first sight with the lowest free number, so a device keeps
// its number across runs and replugging; only the devices present are listed.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/system_error.h"

namespace platform {

struct PortInfo {
    int number = 0;           // n of COMn, 1 and up
    std::string devicePath;   // what to open
    std::string displayName;  // may be empty; shown as "COMn" then
    bool isUsb = false;
};

struct PortList {
    std::vector<PortInfo> ports;        // in map order
    SystemError error;                  // why the list may be incomplete
    std::vector<std::string> warnings;  // a map unread or unwritten, lines refused; why
};

// Lines that do not parse are skipped; a second line for a COM number is refused, with a
// warning ("line 5: COM3 is already on line 2; line 5 is ignored") when warnings is given.
std::vector<PortInfo> parsePortMap(std::string_view text,
                                   std::vector<std::string>* warnings = nullptr);
std::string formatPortMapLine(const PortInfo& port);

// The map file in use, and whether it is the only source of ports (VELTRIX_PORTS).
std::string portMapPath();
bool portMapIsExclusive();
// Where the ports come from, for a message: "the port map FILE", or "hardware enumeration and
// the port map FILE".
std::string portSourceDescription();

PortList listPorts();
std::optional<PortInfo> findPort(int number);

// Adds or replaces the line of port.number in a map file, or removes it; the file is
// locked and replaced in one step so readers never see half a file; err gets why it failed.
bool registerPort(const std::string& mapFile, const PortInfo& port, SystemError* err = nullptr);
bool unregisterPort(const std::string& mapFile, int number, SystemError* err = nullptr);

}  // namespace platform
