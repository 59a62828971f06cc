// Finding the COM ports, two ways: the port menu list of (number, display name) pairs the
// Port submenus are built from, and the port description list of full records the scanner
// configuration lists. Both read the port map (platform/port_map.h); display names come
// from it.
#pragma once

#include <string>
#include <vector>

struct PortEntry {
    int number = 0;    // n of COMn
    std::string name;  // display name, at most 127 characters, may be empty
};

struct SSerInfo {
    std::string devicePath;
    std::string portName;      // "COMn"
    std::string friendlyName;  // as a rule "description (COMn)"
    bool isUsb = false;
    std::string portDescription;  // friendlyName without its "(COMn)"
};

namespace serial {
enum class PortOrder {
    AsFound,    // the firmware installer: map order, duplicates kept, names as given
    Ascending,  // the picture tool: ascending numbers, one per number, "COMn" when unnamed
};
}  // namespace serial

// Empties and fills list; returns the number of entries.
int ListPortsForMenu(std::vector<PortEntry>& list, serial::PortOrder order);

// Empties and fills records; returns the error text, empty when all went well (records
// gathered before an error stay).
std::string ListSerialPorts(std::vector<SSerInfo>& records, bool skipUnopenable);

namespace serial {

// "USB Serial Port (COM5)" -> "USB Serial Port"; other texts stay whole.
std::string portDescriptionOf(const std::string& friendlyName);

// The name of the port the last port menu build checked; empty when none.
std::string currentPortName();
void setCurrentPortName(const std::string& name);

}  // namespace serial
