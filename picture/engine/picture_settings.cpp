#include "picture/engine/picture_settings.h"

#include <cstdio>

#include "platform/folders.h"

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

void SaveSettings(serial::SettingsFile& file, const PictureSettings& s) {
    for (const auto& row : kBefore) file.WriteInt(row.section, row.key, s.*row.value);
    file.WriteString(kCameraSection, kCameraKey, s.cameraSetup);
    for (const auto& row : kAfter) file.WriteInt(row.section, row.key, s.*row.value);
}

}  // namespace pictavo
