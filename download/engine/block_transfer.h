// The block download protocol: preparation with the mode-switch commands, the framed block
// transfer with two-letter replies and retransmission, the stop exchange and the device's
// flash-writing reports.
//
// Frame (RsBkSize + 26 bytes): a 4-byte header, the data, the 16-bit checksum (sum of the
// data bytes modulo 65536), two zero bytes and 18 zero filler bytes. The header is
// block length * 65536 + block number in the device's byte order: EndianType 0 sends length
// then number, high bytes first; EndianType 1 sends number then length, low bytes first.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "download/engine/download_job.h"
#include "download/engine/image_file.h"

namespace kolvane {

constexpr std::size_t kFrameOverhead = 26;  // header 4, checksum 2, zeros 2, filler 18

enum class Reply {
    Accepted,           // "NX" / "XN"
    Rejected,           // "RT" / "TR"
    StopAccepted,       // "ED" / "DE"
    FlashBlockWritten,  // "BE" / "EB"
    FlashErased,        // "EG" / "GE"
    FlashWriteFailed,   // "WE" / "EW"
    FlashDone,          // "FE" / "EF"
    Other,
};
Reply classifyReply(std::uint8_t first, std::uint8_t second);

std::uint16_t blockChecksum(const std::uint8_t* data, std::size_t count);

// A data frame in one buffer, built once per block and sent again unchanged on a retry.
class BlockFrame {
public:
    explicit BlockFrame(int blockSize);
    std::uint8_t* data() { return bytes_.data() + 4; }
    // Writes header and checksum around the data.
    void seal(int blockNumber, int endianType);
    const Bytes& bytes() const { return bytes_; }

private:
    int blockSize_;
    Bytes bytes_;
};

// "ED" and zero filler, as long as a data frame.
Bytes stopFrame(int blockSize);

// The four 8-byte commands that switch a running device into download mode.
std::array<std::string, 4> modeSwitchCommands(int ifType);

// Preparation of a download: the line must be open, the image opens, the mode-switch commands
// go out (block transfer with UseZwFlg 1), the line is closed. Logs every step.
// The image must hold something to send (contentProblem) and fit where its name puts it
// (placementProblem), or nothing is sent.
bool prepareDownload(const DownloadJob& job, const std::string& path, const StartPosition& start,
                     std::unique_ptr<ImageReader>& image);

// Opens the line at 115200 baud, sends the image from startBlock on, runs the stop exchange
// and waits for the device's end of flash writing. 1 on success, 0 otherwise.
int transferImage(const DownloadJob& job, ImageReader& image, int startBlock);

}  // namespace kolvane
