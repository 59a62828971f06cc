// The download settings the worker owns, with their start-up values, and the protocol
// constants they select. Settings live in memory only: every start begins with these values.
#pragma once

#include <cstdint>

namespace kolvane {

struct DownloadSettings {
    int RsPort = 1;       // COM port number
    int RsBkSize = 8192;  // block size of the transfer; 2 selects the bootstrap monitor
    int DeviceType = 0;   // 0 K41, 1 Z7B, 2 Z7D: flash base and monitor speed
    int IfType = 0;       // 0 RS232C, 1 USB COM: the third mode-switch command
    int EndianType = 0;   // 0 big endian, 1 little endian
    int UseZwFlg = 1;     // 1: send the mode-switch commands before a block transfer
    std::int32_t SaveAddress = 0x00010000;  // offset of a ".bin" image from the flash base
};

// RsBkSize values the Config menu offers.
constexpr int kBin8kBlockSize = 8192;
constexpr int kMotHexBlockSize = 16;
constexpr int kBootstrapBlockSize = 2;
// The frame's length field is 16 bits wide, so no block may be longer.
constexpr int kMaxBlockSize = 0xFFFF;
// ... and so is its block number field.
constexpr std::int64_t kMaxBlockNumber = 0xFFFF;

constexpr std::int32_t kDelXswSaveAddress = 0x001FC000;
constexpr unsigned kDefaultBaudRate = 9600;
constexpr unsigned kTransferBaudRate = 115200;

constexpr bool usesMonitor(const DownloadSettings& s) {
    return s.RsBkSize == kBootstrapBlockSize;
}

// Flash ROM base address B.
constexpr std::uint32_t flashBase(int deviceType) {
    return deviceType == 2 ? 0x80000000u : 0x10000000u;
}
// Line speed of the bootstrap monitor.
constexpr unsigned monitorBaudRate(int deviceType) {
    return deviceType == 2 ? 38400 : 57600;
}

}  // namespace kolvane
