#include "picture/engine/picture_settings.h"

#include <cstdio>

#include "picture/engine/setting_checks.h"
#include "platform/folders.h"
#include "serial/display_text.h"

namespace pictavo {

namespace {

struct IntSetting {
    const char* section;
    const char* key;
    int PictureSettings::*value;
    int defaultValue;
};

// The settings table in its order; the camera set-up text stands between
// "EnableCameraSettings" and "DebugCommands".
constexpr IntSetting kBefore[] = {
    {"Main", "port", &PictureSettings::port, 1},
    {"Main", "size", &PictureSettings::scale, kScale25},
    {"Size", "startx", &PictureSettings::startx, 0},
    {"Size", "starty", &PictureSettings::starty, 0},
    {"Size", "endx", &PictureSettings::endx, 1279},
    {"Size", "endy", &PictureSettings::endy, 1023},
    {"Quality", "quality", &PictureSettings::quality, 65},
    {"Snapshot", "snapshot", &PictureSettings::snapshot, 1},
    {"Illumination", "illumination", &PictureSettings::illumination, 1},
    {"Main", "IgnorePortName", &PictureSettings::ignorePortName, 1},
    {"Main", "JPEGImage", &PictureSettings::jpegImage, 1},
    {"Main", "EnableCameraSettings", &PictureSettings::enableCameraSettings, 1},
};
constexpr IntSetting kAfter[] = {
    {"Main", "DebugCommands", &PictureSettings::debugCommands, 0},
};
constexpr const char* kCameraSection = "Main";
constexpr const char* kCameraKey = "CameraSetup";

// The rows of kBefore the dialogs check: the picture window, then the quality.
constexpr std::size_t kWindowRows[] = {2, 3, 4, 5};
constexpr std::size_t kQualityRow = 6;
static_assert(kBefore[kWindowRows[0]].value == &PictureSettings::startx &&
              kBefore[kWindowRows[3]].value == &PictureSettings::endy &&
              kBefore[kQualityRow].value == &PictureSettings::quality);

// The text as the file holds it; GetInt would read "-20" as 0 and "640x" as 640.
bool isDecimalNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

void PictureSettingsFile::SetPath(const std::string& folder, const std::string& name) {
    serial::SettingsFile::SetPath(folder, name);
    if (readOnly()) return;
    if (std::FILE* f = std::fopen(path().c_str(), "r+b")) {  // open for writing, never create
        std::fclose(f);
        return;
    }
    platform::createDirectories(
        platform::joinPath(folder, "Veltrix"));  // errors show at the first write
}

void PictureSettingsFile::setDefaultPath() {
    SetPath(platform::configFolder(), kFileName);
}

void LoadSettings(serial::SettingsFile& file, PictureSettings& s) {
    for (const auto& row : kBefore)
        s.*row.value = file.GetInt(row.section, row.key, row.defaultValue);
    s.cameraSetup = file.GetString(kCameraSection, kCameraKey, kDefaultCameraSetup);
    for (const auto& row : kAfter)
        s.*row.value = file.GetInt(row.section, row.key, row.defaultValue);
}

std::vector<std::string> restoreRefusedSettings(serial::SettingsFile& file, PictureSettings& s) {
    std::vector<std::string> warnings;
    const std::string where = serial::displayText(file.path()) + ": ";
    auto text = [&](const IntSetting& row) {
        return file.GetString(row.section, row.key, std::to_string(row.defaultValue));
    };

    bool numbers = true;
    std::string values;
    for (std::size_t i : kWindowRows) {
        const std::string t = text(kBefore[i]);
        numbers = numbers && isDecimalNumber(t);
        values +=
            std::string(values.empty() ? "" : ", ") + kBefore[i].key + "=" + serial::displayText(t);
    }
    if (!numbers || !pictureWindowInRange({s.startx, s.starty, s.endx, s.endy})) {
        std::string defaults;
        for (std::size_t i : kWindowRows) {
            s.*kBefore[i].value = kBefore[i].defaultValue;
            defaults += (defaults.empty() ? "" : ", ") + std::to_string(kBefore[i].defaultValue);
        }
        warnings.push_back(where + "the picture window " + values +
                           " is not inside 1280 x 1024 pixels and at least 2 x 2 (startx < endx "
                           "< 1280, starty < endy < 1024); the default window " +
                           defaults + " is used.");
    }

    const IntSetting& quality = kBefore[kQualityRow];
    const std::string q = text(quality);
    if (!isDecimalNumber(q) || !qualityInRange(s.quality)) {
        s.quality = quality.defaultValue;
        warnings.push_back(where + quality.key + "=" + serial::displayText(q) +
                           " is not a quality from 0 to " + std::to_string(kQualityLimit) +
                           "; the default quality " + std::to_string(quality.defaultValue) +
                           " is used.");
    }
    return warnings;
}

std::optional<platform::SystemError> SaveSettings(serial::SettingsFile& file,
                                                  const PictureSettings& s) {
    std::vector<platform::profile::Entry> entries;
    auto add = [&](const IntSetting& row) {
        entries.push_back({row.section, row.key, std::to_string(s.*row.value)});
    };
    for (const auto& row : kBefore) add(row);
    entries.push_back({kCameraSection, kCameraKey, s.cameraSetup});
    for (const auto& row : kAfter) add(row);
    if (file.WriteAll(entries) || !file.lastError()) return std::nullopt;
    return file.lastError();
}

}  // namespace pictavo
