// The simulated Z7 download device.
//
// Download mode: it takes the mode-switch commands (ESC ... CR, 8 bytes, at whatever speed the
// line runs; each is recorded with that speed), and at 115200 baud the data frames of the block
// transfer: every frame is checked (header in the device's byte order, full length, checksum,
// two zero bytes) and answered "NX", or "RT" when it is bad. A good block is kept under its
// number. The stop frame ("ED" and filler, as long as a data frame) is answered "ED", followed
// by the flash-writing reports: "EG" and "BE" (or "WE") for each 64 KiB of received data, then
// "FE". Replies can come in swapped letter order.
//
// Bootstrap mode: an ASCII monitor at the device type's speed (57600 baud, 38400 for the
// Z7D). A lone 'A' is answered with the prompt ':'. Commands are 8 capital hex digits of
// address, 2 of operation and the operation's value: "42" word write (4 digits), "62" word read
// (none; answered with 4 hex digits), "C4" long write (8 digits). The monitor echoes each
// command and answers '/'; the Z7D ignores the LF after a command and sends CR LF after the
// answer. Behind it: a 4 MiB word-wide flash at the flash base that follows the JEDEC unlock,
// program and sector-erase sequences (DQ6 toggles on status reads while an erase runs, and
// programming can only clear bits), and 64 KiB of RAM at 0x08000000 (Z7D: 0xA0000000).
// Everything at a speed other than the expected one is noise to the device and is dropped.
//
// Faults, as control commands: reject N, unknown N [XY], mute N, stray N [XY], stall MS, reports
// off, flash-fail on, erase-busy N|stuck, drop-ack ADDRESS (see usage()).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace sim {

class Z7Device final : public SimDevice {
public:
    enum class Mode { Download, Bootstrap };
    struct Options {
        Mode mode = Mode::Download;
        int deviceType = 0;  // 0 K41, 1 Z7B, 2 Z7D
        bool bigEndian = true;
        bool swapped = false;  // replies in swapped letter order ("XN" for "NX")
    };

    static constexpr unsigned kTransferBaud = 115200;
    static constexpr std::size_t kFlashBytes = 4 * 1024 * 1024;
    static constexpr std::size_t kRamBytes = 64 * 1024;

    explicit Z7Device(Options options);
    Z7Device() : Z7Device(Options{}) {}
    ~Z7Device() override { stop(); }

    static std::unique_ptr<SimDevice> make(const std::vector<std::string>& options,
                                           std::string& error);
    static const char* usage();

    std::string command(const std::string& text) override;

    // What arrived, for tests.
    struct ModeSwitch {
        std::string bytes;
        unsigned baudRate;
    };
    std::vector<ModeSwitch> modeSwitches() const;
    std::map<std::uint16_t, Bytes> blocks() const;
    std::size_t blockCount() const;
    int badFrames() const;
    int stopFrames() const;

    std::uint32_t flashBase() const;
    unsigned monitorBaud() const;
    std::uint16_t flashWord(std::uint32_t address) const;
    // Flash bytes in the device's byte order.
    Bytes flashBytes(std::uint32_t address, std::size_t count) const;
    std::uint16_t ramWord(std::uint32_t address) const;
    struct LongWrite {
        std::uint32_t address, value;
        bool operator==(const LongWrite&) const = default;
    };
    std::vector<LongWrite> longWrites() const;
    int erases() const;
    std::uint16_t initialFlashWord(std::uint32_t address) const;

protected:
    void serve(std::stop_token stop) override;

private:
    void serveDownload(std::stop_token& stop);
    void serveBootstrap(std::stop_token& stop);
    bool readFully(std::uint8_t* p, std::size_t n, std::stop_token& stop);
    void discardUntilQuiet(milliseconds quiet);
    void reply(const char code[2], const char* stray = nullptr);
    void handleStop(const std::uint8_t* header, std::stop_token& stop);
    void handleFrame(const std::uint8_t* header, std::stop_token& stop);
    void runMonitorCommand(const std::string& text);
    void flashWrite(std::uint32_t index, std::uint16_t value);
    std::uint16_t flashRead(std::uint32_t index);
    unsigned programBaud();
    bool saveTo(const std::string& file) const;

    mutable std::mutex lock_;
    Options options_;
    // download records
    std::vector<ModeSwitch> modeSwitches_;
    std::map<std::uint16_t, Bytes> blocks_;
    std::size_t knownLength_ = 0;
    std::size_t bytesSinceStop_ = 0;
    int badFrames_ = 0, stopFrames_ = 0;
    // download faults
    int reject_ = 0, unknown_ = 0, mute_ = 0, stallMs_ = 0;
    int stallRead_ = 0;  // in the monitor: 0 the next command, else the Nth word read from now
    std::string unknownCode_ = "QZ";
    int stray_ = 0;  // answers followed by a second, stray reply
    std::string strayCode_ = "RT";
    bool reports_ = true, flashFail_ = false;
    // monitor
    std::vector<std::uint16_t> flash_;
    std::vector<std::uint16_t> ram_;
    std::vector<LongWrite> longWrites_;
    enum class Jedec { Read, Unlock1, Unlock2, Program, EraseSetup, EraseUnlock1, EraseUnlock2 };
    Jedec jedec_ = Jedec::Read;
    int busyReads_ = 0;  // status reads left in a running erase; -1: never ends
    bool toggle_ = false;
    int eraseBusyReads_ = 6;
    int erases_ = 0;
    std::set<std::uint32_t> dropAcks_;  // writes to these addresses get no '/', once each
    std::uint32_t lowestProgrammed_ = UINT32_MAX, highestProgrammed_ = 0;
};

}  // namespace sim
