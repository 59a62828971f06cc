// The simulated 2D scanner: answers the picture tool's picture request with a header block
// and the picture in ':' blocks, one block per ACK, and answers the named scanner commands.
//
// What it does with the bytes it receives:
//   ETB                      breaks off a picture in progress (and sends the ETB reply, none
//                            by default)
//   ESC "((" CR "@VELT,...#" a picture request: window, quality, snapshot, JPEG (1) or
//                            uncompressed (3). In snapshot mode it waits for its trigger
//                            (command "trigger", SIGUSR1 in veltrix-sim, or ESC "Z" CR), then
//                            sends the header block and the data blocks, each after the ACK
//                            of the one before.
//   ESC text CR              a command: the reply set for text, if any ("Z1" answers the
//                            software version).
// Bytes arriving while the program's line is not at 115200 baud are not understood.
//
// The picture is a given JPEG stream, or a generated grey picture of the requested window:
// JPEG-encoded at the requested quality (optionally padded to a size), or the bare rows in
// uncompressed mode. Faults: noise before a block, a block not ending in CR, a block left out,
// a block longer than the block buffer, a header with divisor 0, a header too short for its
// numbers, a wrong block count, the line vanishing where a block would go, and silence (the
// base's "silent on").
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/sim_device.h"

namespace sim {

struct ScannerFaults {
    int noiseBeforeBlock = -1;  // block (0 the header) preceded by noise bytes
    int badEndBlock = -1;       // block whose last byte is not CR
    int missingBlock = -1;      // block left out
    int oversizeBlock = -1;     // block carrying one byte more than the block buffer
    int vanishAtBlock = -1;     // the line vanishes where this block would go
    bool divisorZero = false;
    bool shortHeader = false;
    int announcedBlocks = 0;  // above 0: the header's block count, whatever the picture needs
};

struct SeenRequest {
    std::string text;  // as received, ESC to '#'
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    int requestFlags = 0, quality = 0;
    bool snapshot = false, jpeg = true;
};

class ScannerDevice final : public SimDevice {
public:
    static constexpr std::size_t kBlockLimit = 1304;
    static constexpr unsigned kBaudRate = 115200;
    static constexpr int kPictureSideLimit = 4096;

    ScannerDevice();
    ~ScannerDevice() override { stop(); }

    // Besides the base's: "trigger", "fault NAME [N]" (noise, bad-end, missing, oversize,
    // vanish, divisor0, short-header, blocks; "fault none" clears them), "reply TEXT [ANSWER]"
    // (C escapes; no answer: none), "etb-reply [ANSWER]", "picture FILE|generated",
    // "jpeg-size BYTES", "block-size N", "status".
    std::string command(const std::string& text) override;

    void setPicture(Bytes jpeg);  // served in JPEG mode; empty: generate one
    void setJpegSize(
        std::size_t bytes);  // pad generated JPEG pictures to this size (0: as encoded)
    void setBlockSize(std::size_t bytes);  // data bytes per block, 1..1304
    void setFaults(const ScannerFaults& faults);
    void setReply(const std::string& command, std::optional<std::string> reply);
    void setEtbReply(const std::string& reply);
    // "triggered" when a snapshot request was waiting for it, else it is ignored.
    std::string trigger();

    std::vector<SeenRequest> requests() const;
    Bytes lastPicture() const;  // the picture bytes of the last request answered
    int picturesCompleted() const { return completed_; }

protected:
    void serve(std::stop_token stop) override;

private:
    enum class Wait { Ack, Etb, Timeout, Stopped };
    struct Config {
        Bytes picture;
        std::size_t jpegSize = 0;
        std::size_t blockSize = kBlockLimit;
        ScannerFaults faults;
        std::map<std::string, std::string> replies;
        std::string etbReply;
    };

    std::optional<std::uint8_t> next(std::stop_token& stop, milliseconds wait);
    void handleEscape(std::stop_token& stop);
    void handleCommand(const std::string& text);
    void handleRequest(std::stop_token& stop, const std::string& text);
    bool waitForTrigger(std::stop_token& stop);
    Wait waitForAck(std::stop_token& stop);
    bool understood();
    Config config() const;

    Bytes queue_;  // received, not yet handled (device thread only)
    std::size_t queueAt_ = 0;

    mutable std::mutex lock_;
    Config config_;
    std::vector<SeenRequest> requests_;
    Bytes lastPicture_;
    std::atomic<bool> waitingForTrigger_{false};
    std::atomic<bool> triggered_{false};
    std::atomic<int> completed_{0};
};

// The generated picture: a grey gradient with a barcode across the middle.
Bytes generateGreyPicture(int width, int height);
// The header block's payload for a picture of that window, divisor and block count.
Bytes formatScannerHeader(const SeenRequest& request, int divisor, int blocks,
                          std::size_t pictureBytes);

}  // namespace sim
