#include "installer/engine/fenwald_settings.h"

#include "platform/folders.h"
#include "serial/display_text.h"
#include "serial/irda_adapter.h"

namespace fenwald {

namespace {

bool isComPort(int v) {
    return v >= 1 && v <= 255;
}
bool isBaudRate(int v) {
    for (int rate : {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200})
        if (v == rate) return true;
    return false;
}
bool isDataBits(int v) {
    return v == 7 || v == 8;
}
bool isStopBits(int v) {
    return v == 0 || v == 2;
}
bool isUpToTwo(int v) {
    return v >= 0 && v <= 2;
}
bool isIrdaType(int v) {
    return v >= 0 && v <= kFixedBaudRateCradle;
}
bool isOffOrOn(int v) {
    return v == 0 || v == 1;
}

struct IntSetting {
    const char* key;
    int FenwaldSettings::*value;
    int defaultValue;
    bool (*valid)(int);
    const char* takes;
};

// In the order they are read and written; the values are those the menus offer.
constexpr IntSetting kSettings[] = {
    {"port", &FenwaldSettings::port, 1, isComPort, "a COM number from 1 to 255"},
    {"baudrate", &FenwaldSettings::baudrate, 9600, isBaudRate,
     "1200, 2400, 4800, 9600, 19200, 38400, 57600 or 115200"},
    {"databits", &FenwaldSettings::databits, 8, isDataBits, "7 or 8"},
    {"stopbits", &FenwaldSettings::stopbits, 0, isStopBits, "0 (one stop bit) or 2 (two)"},
    {"parity", &FenwaldSettings::parity, 0, isUpToTwo, "0 (none), 1 (odd) or 2 (even)"},
    {"format", &FenwaldSettings::format, 0, isUpToTwo, "0 (Normal), 1 (ASCII) or 2 (HEX)"},
    {"irda", &FenwaldSettings::irda, 0, isIrdaType, "a type from 0 to 5"},
    {"local echo", &FenwaldSettings::localEcho, 1, isOffOrOn, "0 or 1"},
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

SettingsLoad loadSettings(serial::SettingsFile& file, FenwaldSettings& s) {
    SettingsLoad load;
    s.workingFolder = platform::currentFolder();
    file.SetPath(s.workingFolder, kSettingsFileName);
    load.unreadable = file.unreadable();
    if (load.unreadable) {
        // Not even tried: a FIFO there would hold the read until something writes to it.
        file.setReadOnly(true);
        for (const auto& row : kSettings) s.*row.value = row.defaultValue;
        return load;
    }
    for (const auto& row : kSettings) {
        const int value = file.GetInt(kSettingsSection, row.key, row.defaultValue);
        if (row.valid(value)) {
            s.*row.value = value;
        } else {
            load.problems.push_back({row.key, file.lastText(), row.takes});
            s.*row.value = row.defaultValue;
        }
    }
    return load;
}

std::string describeSettingProblem(const std::string& path, const SettingProblem& p) {
    return serial::displayText(path) + ": \"" + p.key + "\" takes " + p.takes + ", not " +
           (p.value.empty() ? "an empty value" : serial::displayText(p.value));
}

std::string describeUnreadableSettings(const std::string& path, const platform::SystemError& why) {
    return "Cannot read " + serial::displayText(path) + " (" + why.text +
           "): the default settings are used";
}

std::optional<platform::SystemError> saveSettings(serial::SettingsFile& file,
                                                  const FenwaldSettings& s) {
    std::vector<platform::profile::Entry> entries{
        {kSettingsSection, kWorkingFolderKey, s.workingFolder}};
    for (const auto& row : kSettings)
        entries.push_back({kSettingsSection, row.key, std::to_string(s.*row.value)});
    if (file.WriteAll(entries) || !file.lastError()) return std::nullopt;
    return file.lastError();
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
