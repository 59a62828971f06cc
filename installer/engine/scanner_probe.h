// Finding a scanner's baud rate: the one probe the loader and the configuration dialog share.
//
// At each candidate rate the line is opened (8 data bits, no parity, one stop bit, no flow
// control), ESC "W" "C" CR goes out as four one-byte writes, and after 150 ms the probe reads at
// most one byte of what has arrived: ACK means a scanner answered at that rate. The line is
// closed after each rate. Once two rates have answered the probe stops, and the second one
// counts (several answered). A port that cannot be opened ends the probe at once.
//
// The probe drives a ProbeLine, so the loader runs it on CSerialCom (with the IrDA adapter
// switched at each rate) and the configuration dialog on its own serial class. It blocks the
// calling thread (a worker's) for about 150 ms a rate; the line's wait ends early when the job
// is cancelled.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "platform/cancel_flag.h"

class CSerialCom;

namespace fenwald {

class ProbeLine {
public:
    virtual ~ProbeLine() = default;
    // Opens the port at the rate, 8N1, no flow control; false when it cannot be opened.
    virtual bool open(unsigned baudRate) = 0;
    virtual bool writeByte(std::uint8_t byte) = 0;
    // At most one byte that has already arrived; nothing when none has.
    virtual std::optional<std::uint8_t> readArrivedByte() = 0;
    virtual void close() = 0;
    // False when the wait was cut short (the job was cancelled).
    virtual bool wait(std::chrono::milliseconds duration) = 0;
};

// The rates in the order they are tried.
constexpr unsigned kScannerRates[] = {9600, 115200, 57600, 38400, 19200, 4800, 2400, 1200, 600};
// A fixed-baud-rate cradle (IrDA type 5) carries 9600 only.
constexpr unsigned kFixedCradleRates[] = {9600};
constexpr std::chrono::milliseconds kScannerAnswerWait{150};

// The rates to probe behind an IrDA adapter or cradle of this type.
std::span<const unsigned> probeRatesFor(int irdaType);

struct ScannerRate {
    bool found = false;
    unsigned rate = 0;  // the rate that answered; the second when two did
    bool severalAnswered = false;
    bool openError = false;  // the port could not be opened (the probe stopped there)
    bool cancelled = false;
};

ScannerRate detectScannerRate(ProbeLine& line, std::span<const unsigned> rates = kScannerRates);

// The loader's line: COM port `port` through CSerialCom, which after setting each rate switches
// an IrDA adapter of type 1 to 4 to it (ProgramIrDAAdapter); other types are not switched. The
// line stays open after open() until close() or the object goes; com must outlive it.
class SerialComProbeLine final : public ProbeLine {
public:
    SerialComProbeLine(CSerialCom& com, int port, int irdaType,
                       const platform::CancelFlag* cancel = nullptr)
        : com_(com), port_(port), irdaType_(irdaType), cancel_(cancel) {}
    ~SerialComProbeLine() override;

    bool open(unsigned baudRate) override;
    bool writeByte(std::uint8_t byte) override;
    std::optional<std::uint8_t> readArrivedByte() override;
    void close() override;
    bool wait(std::chrono::milliseconds duration) override;

    // Why the last open failed, in the words of serial::cannotOpenAdvice.
    std::string openFailure() const { return openFailure_; }

private:
    CSerialCom& com_;
    int port_;
    int irdaType_;
    const platform::CancelFlag* cancel_;
    std::string openFailure_;
};

}  // namespace fenwald
