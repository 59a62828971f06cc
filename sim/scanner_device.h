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
//   ESC "WC" CR              at its own rate: ACK (the installer looking for the scanner)
//   ESC "T" 14 digits CR     at its own rate: ACK, and the time is kept ("YYYYMMDDhhmmss")
//   ESC "FW" CR              at its own rate: ACK, then it receives a YMODEM batch and keeps
//                            the last file whole (its name and bytes)
//   ESC "B" CR               at its own rate: taken, no answer (ends the configuration dialog's
//                            search)
//   ESC configuration CR     at its own rate, any other text without a reply of its own (and
//                            not "Z1" or "Z"): ACK, and the configuration is kept, "permanent"
//                            when it ends in "Z2"; one holding "rate=N" (a marker of this
//                            simulator) moves the scanner's own rate to N after the ACK
// The picture protocol runs at 115200 baud; the scanner's own rate (9600 unless set, or several
// rates, as a scanner behind a cradle that also answers at another) is where the installer's
// commands are understood; the named commands are answered at both. Bytes arriving at any
// other rate are not understood.
//
// The picture is a given JPEG stream, or a generated grey picture of the requested window:
// JPEG-encoded at the requested quality (optionally padded to a size), or the bare rows in
// uncompressed mode. Faults: noise before a block, a block not ending in CR, a block left out,
// a block longer than the block buffer, a header with divisor 0, a header too short for its
// numbers, a wrong block count, the line vanishing where a block would go, and silence (the
// base's "silent on"). For the installer: no answer or a NAK instead of the ACK to ESC FW CR and
// to the time, and after ESC FW CR no request for the file, a NAK for every block, or CAN CAN.
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
    int announcedBlocks = 0;        // above 0: the header's block count, whatever the picture needs
    bool muteAck = false;           // no answer to ESC FW CR and to the time
    bool badAck = false;            // NAK instead of ACK to ESC FW CR and to the time
    bool firmwareSilence = false;   // ESC FW CR acknowledged, the file never asked for
    bool firmwareNak = false;       // every block of the file NAKed
    bool firmwareCancel = false;    // CAN CAN once the file's first block arrives
    bool firmwareStrayAck = false;  // an extra ACK as each 1024-byte block starts to arrive
    bool refuseConfiguration = false;  // NAK instead of ACK to a configuration
};

// A configuration the scanner took.
struct ReceivedConfiguration {
    std::string text;  // between ESC and CR, "Z2" included
    bool permanent = false;
};

// A file the scanner received after ESC FW CR.
struct ReceivedFirmware {
    std::string name;  // as it came in block 0
    Bytes bytes;
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
    static constexpr unsigned kDefaultOwnRate = 9600;

    ScannerDevice();
    ~ScannerDevice() override { stop(); }

    // Besides the base's: "trigger", "fault NAME [N]" (noise, bad-end, missing, oversize,
    // vanish, divisor0, short-header, blocks, mute-ack, bad-ack, fw-silence, fw-nak,
    // fw-cancel, config-refuse; "fault none" clears them), "reply TEXT [ANSWER]" (C escapes; no
    // answer: none), "etb-reply [ANSWER]", "picture FILE|generated", "jpeg-size BYTES", "block-size
    // N", "rate N[,N...]", "firmware", "save-firmware FILE", "configuration", "status".
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
    // The rates the installer's commands are understood at; none leaves them as they were.
    void setOwnRates(std::vector<unsigned> rates);
    std::vector<unsigned> ownRates() const;

    // The last file received whole after ESC FW CR, and the times set, in order.
    std::optional<ReceivedFirmware> firmware() const;
    std::vector<std::string> timesSet() const;
    int firmwareRequests() const { return firmwareRequests_; }
    // The configurations taken, in order (refused ones are not kept).
    std::vector<ReceivedConfiguration> configurations() const;

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
        std::vector<unsigned> ownRates{kDefaultOwnRate};
    };
    enum class Rate { Foreign, Picture, Own, Both };

    std::optional<std::uint8_t> next(std::stop_token& stop, milliseconds wait);
    void handleEscape(std::stop_token& stop);
    void handleCommand(const std::string& text);
    bool handleInstallerCommand(std::stop_token& stop, const std::string& text);
    void takeConfiguration(const std::string& text, const ScannerFaults& faults);
    void receiveFirmware(std::stop_token& stop, const ScannerFaults& faults);
    void answerEveryBlockWithNak(std::stop_token& stop);
    void drainRestOfBlock(std::stop_token& stop, std::uint8_t header);
    Rate rate();
    void handleRequest(std::stop_token& stop, const std::string& text);
    bool waitForTrigger(std::stop_token& stop);
    Wait waitForAck(std::stop_token& stop);
    Config config() const;

    Bytes queue_;  // received, not yet handled (device thread only)
    std::size_t queueAt_ = 0;

    mutable std::mutex lock_;
    Config config_;
    std::vector<SeenRequest> requests_;
    Bytes lastPicture_;
    std::optional<ReceivedFirmware> firmware_;
    std::vector<std::string> timesSet_;
    std::vector<ReceivedConfiguration> configurations_;
    std::atomic<int> firmwareRequests_{0};
    std::atomic<bool> waitingForTrigger_{false};
    std::atomic<bool> triggered_{false};
    std::atomic<int> completed_{0};
};

// A picture request as received (ESC to '#'): its twelve numbers after "@VELT,"; nothing when
// it is not one this scanner understands.
std::optional<SeenRequest> parsePictureRequest(const std::string& text);
// The generated picture: a grey gradient with a barcode across the middle.
Bytes generateGreyPicture(int width, int height);
// The header block's payload for a picture of that window, divisor and block count.
Bytes formatScannerHeader(const SeenRequest& request, int divisor, int blocks,
                          std::size_t pictureBytes);

}  // namespace sim
