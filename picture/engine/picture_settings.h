// The picture tool's settings and its settings file, "Veltrix/kivvision.ini" under the
// common application data folder (platform::configFolder()).
//
// The window loads them at start (LoadSettings, then refreshes its menus), changes them
// through its menus and dialogs, and writes them on exit or "Save Settings" (SaveSettings).
// A missing key is written back with its default when read, so a missing file comes back
// with every key. The command line reads them through a read-only file and never writes.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "serial/settings_file.h"

namespace pictavo {

constexpr int kScale25 = 104, kScale50 = 105, kScale75 = 106, kScale100 = 107;
constexpr char kDefaultCameraSetup[] = "[OOUQ1Q0Q0Q2Q1";

struct PictureSettings {
    int port = 1;
    int scale = kScale25;
    int startx = 0, starty = 0, endx = 1279, endy = 1023;
    int quality = 65;
    int snapshot = 1;
    int illumination = 1;
    int ignorePortName = 1;
    int jpegImage = 1;
    int enableCameraSettings = 1;
    std::string cameraSetup = kDefaultCameraSetup;
    int debugCommands = 0;
    bool operator==(const PictureSettings&) const = default;
};

// The picture tool's file: SetPath also makes the "Veltrix" folder when the file cannot be
// opened for writing (not in read-only mode); the file itself comes with the first write.
class PictureSettingsFile : public serial::SettingsFile {
public:
    static constexpr char kFileName[] = "Veltrix/kivvision.ini";
    void SetPath(const std::string& folder, const std::string& name) override;
    // SetPath(platform::configFolder(), kFileName).
    void setDefaultPath();
};

// Reads every setting in the order of the settings table. The window calls this and then
// refreshes its menus.
void LoadSettings(serial::SettingsFile& file, PictureSettings& settings);
// After LoadSettings: the values the settings dialogs would refuse (a picture window that is not
// four decimal numbers, lies outside 1280 x 1024 pixels or is smaller than 2 x 2, a quality that
// is not a number up to 100) go back to their defaults, so the scanner is never asked for them.
// One warning for each, naming the file, the keys and the values as the file holds them.
std::vector<std::string> restoreRefusedSettings(serial::SettingsFile& file,
                                                PictureSettings& settings);
// Writes every setting in the same order, in one rewrite of the file. The reason when that
// fails (platform::cannotWriteText words it); nothing when it is written or the file is
// read-only.
std::optional<platform::SystemError> SaveSettings(serial::SettingsFile& file,
                                                  const PictureSettings& settings);

}  // namespace pictavo
