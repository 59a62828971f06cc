#include "download/engine/config_commands.h"

#include "serial/display_text.h"

#include <cstdio>

#include "download/engine/download_settings.h"
#include "download/engine/download_thread.h"

namespace kolvane {

namespace {

using T = CDownloadThread;

ConfigStep change(const char* name, int command, std::int64_t value) {
    return {std::string("Change ") + name + " : " + std::to_string(value), command, value};
}

}  // namespace

std::vector<ConfigStep> configSteps(ConfigChoice choice) {
    switch (choice) {
        case ConfigChoice::Bin8kNew:
            return {change("UseZwFlg", T::kSetUseZwFlg, 1),
                    change("RsBkSize", T::kSetBlockSize, kBin8kBlockSize)};
        case ConfigChoice::Bin8kOld:
            return {change("UseZwFlg", T::kSetUseZwFlg, 0),
                    change("RsBkSize", T::kSetBlockSize, kBin8kBlockSize)};
        case ConfigChoice::MotHex:
            return {change("RsBkSize", T::kSetBlockSize, kMotHexBlockSize)};
        case ConfigChoice::Bootstrap:
            return {change("RsBkSize", T::kSetBlockSize, kBootstrapBlockSize)};
        case ConfigChoice::K41:
            return {change("DeviceType", T::kSetDeviceType, 0)};
        case ConfigChoice::Z7B:
            return {change("DeviceType", T::kSetDeviceType, 1)};
        case ConfigChoice::Z7D:
            return {change("DeviceType", T::kSetDeviceType, 2)};
        case ConfigChoice::BigEndian:
            return {change("EndianType", T::kSetEndianType, 0)};
        case ConfigChoice::LittleEndian:
            return {change("EndianType", T::kSetEndianType, 1)};
        case ConfigChoice::Rs232c:
            return {change("IF Type", T::kSetIfType, 0)};
        case ConfigChoice::UsbCom:
            return {change("IF Type", T::kSetIfType, 1)};
        case ConfigChoice::DelXsw: {
            char line[64];
            std::snprintf(line, sizeof line, "Change Save Address : 0x%08X",
                          static_cast<unsigned>(kDelXswSaveAddress));
            return {{line, T::kSetSaveAddress, kDelXswSaveAddress}};
        }
    }
    return {};
}

ConfigStep portStep(int port) {
    return change("RsPort", T::kSetPort, port);
}

std::string openFileLogLine(const std::string& path) {
    return "Open File : " + serial::displayText(path);
}

}  // namespace kolvane
