// The installer's shared serial settings and its settings file, "fenwald.ini" in the working
// folder, section "Main".
//
// The main window loads them once at start (loadSettings) and saves them once when it closes
// (saveSettings); the monitor and the configuration dialog read and change the same values in
// between. loadSettings fixes the file's path from the working folder of that moment, so a
// file dialog that changes the working folder later does not move the file; no folder is ever
// created. A missing file or key is created with its default as it is read; the command line
// reads through a read-only file (serial::SettingsFile::setReadOnly) and never writes.
//
// The IrDA adapter or cradle type changes three things, each a pure rule here: the monitor's
// two corrections when it applies its settings, what the transfer component is told, and
// which rates the loader probes (installer/engine/scanner_probe.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/system_error.h"
#include "serial/settings_file.h"

namespace fenwald {

constexpr char kSettingsFileName[] = "fenwald.ini";
constexpr char kSettingsSection[] = "Main";

// IrDA adapter or cradle types 0 to 4 as serial::irda numbers them; this one only the main
// window offers.
constexpr int kFixedBaudRateCradle = 5;

struct FenwaldSettings {
    int port = 1;
    int baudrate = 9600;
    int databits = 8;
    int stopbits = 0;  // 0 one, 2 two
    int parity = 0;    // 0 none, 1 odd, 2 even
    int format = 0;    // the monitor's display format: 0 Normal, 1 ASCII, 2 HEX
    int irda = 0;      // 0 to 5
    int localEcho = 1;
    std::string workingFolder;  // the working folder at load, saved as "dir_buffer"
    bool operator==(const FenwaldSettings&) const = default;
};

// A value in the settings file that its key does not take (a port number above 255 would wrap
// in the loader's 16 bits); the setting keeps its default instead.
struct SettingProblem {
    std::string key;
    std::string value;  // the text in the file
    std::string takes;  // what the key takes, e.g. "a COM number from 1 to 255"
    bool operator==(const SettingProblem&) const = default;
};

struct SettingsLoad {
    std::vector<SettingProblem> problems;
    // The file is there but cannot be read: every setting is its default, and the file is
    // made read-only so that saving does not replace what could not be read.
    std::optional<platform::SystemError> unreadable;
};

// Sets the file's path to "fenwald.ini" in the working folder, remembers that folder and reads
// the eight numeric keys in their order; a value out of its key's range gives the default.
SettingsLoad loadSettings(serial::SettingsFile& file, FenwaldSettings& settings);

// "/work/fenwald.ini: \"port\" takes a COM number from 1 to 255, not 65539", the value escaped.
std::string describeSettingProblem(const std::string& path, const SettingProblem& problem);
// "Cannot read /work/fenwald.ini (Permission denied): the default settings are used".
std::string describeUnreadableSettings(const std::string& path, const platform::SystemError& why);
// Writes "dir_buffer" first, then the eight numeric keys in the loading order, in one rewrite
// of the file. The reason when that fails (platform::cannotWriteText words it); nothing when
// it is written or the file is read-only.
std::optional<platform::SystemError> saveSettings(serial::SettingsFile& file,
                                                  const FenwaldSettings& settings);

// The two menus' texts of a type 0 to 5; the monitor has no item for 5 (empty).
const char* irdaMainWindowItem(int type);
const char* irdaMonitorItem(int type);

// The transfer component's IrdaType: types 1 to 4 as they are, 0 for every other one.
int irdaForTransfer(int type);

// A correction the monitor makes when it applies its settings: the value to use from then on,
// and whether the message box is due (then the value changed).
struct MonitorCorrection {
    int value = 0;
    bool message = false;
};
constexpr char kInvalidIrdaDeviceText[] = "Invalid IrDA device selected\nChanged to 'none'";
constexpr char kInvalidBaudRateText[] = "Invalid baudrate selected\nChanged to 9600";
// A type above 4 becomes 0 (kInvalidIrdaDeviceText).
MonitorCorrection correctMonitorIrda(int type);
// Type 3 at 4800 baud or less, and type 4 at 57600, run at 9600 (kInvalidBaudRateText).
MonitorCorrection correctMonitorBaudRate(int type, int baudRate);

}  // namespace fenwald
