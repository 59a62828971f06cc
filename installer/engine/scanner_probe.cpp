#include "installer/engine/scanner_probe.h"

#include "installer/engine/fenwald_settings.h"
#include "serial/irda_adapter.h"
#include "serial/serial_com.h"

namespace fenwald {

namespace {

constexpr std::uint8_t kEsc = 0x1B, kCr = 0x0D, kAck = 0x06;
constexpr std::uint8_t kFindScanner[] = {kEsc, 'W', 'C', kCr};

}  // namespace

std::span<const unsigned> probeRatesFor(int irdaType) {
    if (irdaType == kFixedBaudRateCradle) return kFixedCradleRates;
    return kScannerRates;
}

ScannerRate detectScannerRate(ProbeLine& line, std::span<const unsigned> rates) {
    ScannerRate result;
    line.close();
    int answered = 0;
    for (unsigned rate : rates) {
        if (answered == 2) break;
        if (!line.open(rate)) {
            result.openError = true;
            return result;
        }
        for (std::uint8_t b : kFindScanner) line.writeByte(b);
        bool waited = line.wait(kScannerAnswerWait);
        auto answer = line.readArrivedByte();
        line.close();
        if (!waited) {
            result.cancelled = true;
            return result;
        }
        if (answer && *answer == kAck) {
            ++answered;
            result.rate = rate;
        }
    }
    result.found = answered > 0;
    result.severalAnswered = answered == 2;
    return result;
}

SerialComProbeLine::~SerialComProbeLine() {
    close();
}

bool SerialComProbeLine::open(unsigned baudRate) {
    if (!com_.IsOpen() && !com_.Open(port_)) {
        openFailure_ = com_.OpenFailureAdvice();
        return false;
    }
    com_.SetLineSettings({baudRate, 8, platform::parity::None, platform::stopbits::One});
    if (irdaType_ >= serial::irda::LiteLink && irdaType_ <= serial::irda::Kwd4400)
        com_.ProgramIrDAAdapter(irdaType_, baudRate);
    return true;
}

bool SerialComProbeLine::writeByte(std::uint8_t byte) {
    return com_.Write(&byte, 1);
}

std::optional<std::uint8_t> SerialComProbeLine::readArrivedByte() {
    std::uint8_t byte = 0;
    if (com_.BytesWaiting() == 0 || com_.Read(&byte, 1) != 1) return std::nullopt;
    return byte;
}

void SerialComProbeLine::close() {
    com_.Close();
}

bool SerialComProbeLine::wait(std::chrono::milliseconds duration) {
    return platform::pauseFor(cancel_, duration);
}

}  // namespace fenwald
