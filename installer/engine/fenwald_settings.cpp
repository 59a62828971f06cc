#include "installer/engine/fenwald_settings.h"

#include "platform/folders.h"
#include "serial/irda_adapter.h"

namespace fenwald {

namespace {

struct IntSetting {
    const char* key;
    int FenwaldSettings::*value;
    int defaultValue;
};

// In the order they are read and written.
constexpr IntSetting kSettings[] = {
    {"port", &FenwaldSettings::port, 1},         {"baudrate", &FenwaldSettings::baudrate, 9600},
    {"databits", &FenwaldSettings::databits, 8}, {"stopbits", &FenwaldSettings::stopbits, 0},
    {"parity", &FenwaldSettings::parity, 0},     {"format", &FenwaldSettings::format, 0},
    {"irda", &FenwaldSettings::irda, 0},         {"local echo", &FenwaldSettings::localEcho, 1},
};
constexpr char kWorkingFolderKey[] = "dir_buffer";

struct IrdaItems {
    const char* mainWindow;
    const char* monitor;
};
constexpr IrdaItems kIrdaItems[] = {
    {"Not installed", "None"},
    {"Litelink compatible", "LiteLink Compatible"},
    {"Tekram compatible", "Tekram Compatible"},
    {"Actisys compatible", "Actisys Compatible"},
    {"KWD4400 cradle", "KWD4400 cradle"},
    {"Fixed baudrate cradle", ""},
};

const IrdaItems* itemsOf(int type) {
    if (type < 0 || type > kFixedBaudRateCradle) return nullptr;
    return &kIrdaItems[type];
}

}  // namespace

void loadSettings(serial::SettingsFile& file, FenwaldSettings& s) {
    s.workingFolder = platform::currentFolder();
    file.SetPath(s.workingFolder, kSettingsFileName);
    for (const auto& row : kSettings)
        s.*row.value = file.GetInt(kSettingsSection, row.key, row.defaultValue);
}

void saveSettings(serial::SettingsFile& file, const FenwaldSettings& s) {
    file.WriteString(kSettingsSection, kWorkingFolderKey, s.workingFolder);
    for (const auto& row : kSettings) file.WriteInt(kSettingsSection, row.key, s.*row.value);
}

const char* irdaMainWindowItem(int type) {
    const IrdaItems* items = itemsOf(type);
    return items ? items->mainWindow : "";
}

const char* irdaMonitorItem(int type) {
    const IrdaItems* items = itemsOf(type);
    return items ? items->monitor : "";
}

int irdaForTransfer(int type) {
    return type >= serial::irda::LiteLink && type <= serial::irda::Kwd4400 ? type : 0;
}

MonitorCorrection correctMonitorIrda(int type) {
    if (type > serial::irda::Kwd4400) return {serial::irda::None, true};
    return {type, false};
}

MonitorCorrection correctMonitorBaudRate(int type, int baudRate) {
    if ((type == serial::irda::Actisys && baudRate <= 4800) ||
        (type == serial::irda::Kwd4400 && baudRate == 57600))
        return {9600, true};
    return {baudRate, false};
}

}  // namespace fenwald
