#include "installer/engine/serial_port.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/deadline.h"
#include "serial/port_open.h"

using fenwald::SerialState;
using fenwald::SerialTimeouts;
using platform::SystemError;
using std::chrono::milliseconds;

namespace {

constexpr std::uint32_t kMax = SerialTimeouts::kTimeoutMax;
// windowsErrorCode's answer for an errno with no closer code: it stands for no errno in particular.
constexpr int kGeneralFailure = 31;

// The text of the first errno that the code stands for.
std::string textOfCode(std::uint32_t code) {
    if (code == 0 || code == kGeneralFailure) return {};
    for (int e = 1; e < 256; ++e)
        if (static_cast<std::uint32_t>(platform::windowsErrorCode(e)) == code)
            return std::strerror(e);
    return {};
}

[[noreturn]] void fail(int errnoValue, std::string detail = {}) {
    throw CSerialException(SystemError::fromCode(errnoValue, std::move(detail)));
}

// multiplier x count + constant, as a deadline; none when both are 0.
platform::Deadline totalDeadline(std::uint32_t multiplier, std::uint32_t constant, int count) {
    std::uint64_t total = std::uint64_t(multiplier) * std::uint64_t(count) + constant;
    if (total == 0) return platform::Deadline::never();
    return platform::Deadline(milliseconds(std::min<std::uint64_t>(total, kMax)));
}

// What is left of a deadline for the device's waits: rounded up, -1 for no limit.
milliseconds waitOf(const platform::Deadline& deadline) {
    return milliseconds(deadline.pollTimeout());
}

std::uint8_t platformParity(int code, std::uint8_t asItWas) {
    switch (code) {
        case CSerialPort::kParityEven:
            return platform::parity::Even;
        case CSerialPort::kParityMark:
            return platform::parity::Mark;
        case CSerialPort::kParityNone:
            return platform::parity::None;
        case CSerialPort::kParityOdd:
            return platform::parity::Odd;
        case CSerialPort::kParitySpace:
            return platform::parity::Space;
        default:
            return asItWas;
    }
}

std::uint8_t platformStopBits(int code, std::uint8_t asItWas) {
    switch (code) {
        case CSerialPort::kOneStopBit:
            return platform::stopbits::One;
        case CSerialPort::kOne5StopBits:
            return platform::stopbits::OneAndHalf;
        case CSerialPort::kTwoStopBits:
            return platform::stopbits::Two;
        default:
            return asItWas;
    }
}

platform::FlowControl platformFlow(int code, const platform::FlowControl& asItWas) {
    switch (code) {
        case CSerialPort::kNoFlowControl:
        case CSerialPort::kDsrRtsFlowControl:  // no DSR handshake in termios (see the header)
        case CSerialPort::kDsrDtrFlowControl:
            return {};
        case CSerialPort::kCtsRtsFlowControl:
        case CSerialPort::kCtsDtrFlowControl:
            return {.rtsCts = true};
        case CSerialPort::kXonXoffFlowControl:
            return {.xonXoffOut = true, .xonXoffIn = true};
        default:
            return asItWas;
    }
}

}  // namespace

// --- CSerialException ---

CSerialException::CSerialException(std::uint32_t errorCode)
    : errorCode_(errorCode), message_(textOfCode(errorCode)) {}

CSerialException::CSerialException(SystemError reason)
    : errorCode_(static_cast<std::uint32_t>(reason.windowsCode())),
      reason_(std::move(reason)),
      message_(reason_.text) {}

CSerialException CSerialException::openFailure(SystemError reason, int portNumber) {
    CSerialException e(std::move(reason));
    // Worded now, while the holder, the device's group and the port map are as they failed.
    if (e.errorCode_ == 2 || e.errorCode_ == 5) {
        e.message_ = std::strerror(e.reason_.osCode);
        e.message_ += '\n';
        e.message_ += serial::cannotOpenAdvice(e.reason_, portNumber);
    }
    return e;
}

bool CSerialException::GetErrorMessage(char* buffer, unsigned size, unsigned* helpContext) const {
    if (helpContext) *helpContext = 0;
    if (!buffer || size == 0) return false;
    buffer[0] = '\0';
    if (message_.empty()) return false;
    std::size_t n = std::min<std::size_t>(message_.size(), size - 1);
    std::memcpy(buffer, message_.data(), n);
    buffer[n] = '\0';
    return true;
}

// --- CSerialPort ---

CSerialPort::~CSerialPort() {
    Close();
}

void CSerialPort::Open(int portNumber, unsigned baudRate, int parity, std::uint8_t dataBits,
                       int stopBits, int flowControl) {
    if (auto err = serial::openComPort(device_, portNumber))
        throw CSerialException::openFailure(std::move(err), portNumber);
    timeouts_ = {};
    SerialState state;
    GetState(state);
    state.line.baudRate = baudRate;
    state.line.dataBits = dataBits;
    state.line.parity = platformParity(parity, state.line.parity);
    state.line.stopBits = platformStopBits(stopBits, state.line.stopBits);
    // Nothing to clear for DSR sensitivity: termios never drops input by DSR.
    state.flow = platformFlow(flowControl, state.flow);
    SetState(state, false);
}

void CSerialPort::Close() {
    device_.close();
}

void CSerialPort::requireOpen() const {
    if (!IsOpen()) fail(EBADF, "the port is not open");
}

std::size_t CSerialPort::takeQueued(unsigned char* buffer, std::size_t max) {
    std::size_t got = device_.readAvailable(buffer, max);
    if (got == 0 && device_.hungUp()) fail(EIO, "the line was lost");
    return got;
}

int CSerialPort::Read(void* buffer, int count) {
    requireOpen();
    if (count < 0) fail(EINVAL);
    auto* p = static_cast<unsigned char*>(buffer);
    const auto want = static_cast<std::size_t>(count);
    std::size_t got = want ? takeQueued(p, want) : 0;
    if (got == want) return count;
    const SerialTimeouts& t = timeouts_;
    if (t.readInterval == kMax && t.readTotalMultiplier == 0 && t.readTotalConstant == 0)
        return static_cast<int>(got);
    // The other special case: what is there at once, else the first byte within the constant.
    if (t.readInterval == kMax && t.readTotalMultiplier == kMax && t.readTotalConstant < kMax) {
        if (got > 0) return static_cast<int>(got);
        if (device_.waitReadable(milliseconds(t.readTotalConstant)))
            got = takeQueued(p, want);
        else if (device_.hungUp())
            fail(EIO, "the line was lost");
        return static_cast<int>(got);
    }
    platform::Deadline total = totalDeadline(t.readTotalMultiplier, t.readTotalConstant, count);
    while (got < want && !total.expired()) {
        milliseconds wait = waitOf(total);
        bool byInterval = got > 0 && t.readInterval != 0 &&
                          (wait.count() < 0 || wait.count() > std::int64_t(t.readInterval));
        if (byInterval) wait = milliseconds(t.readInterval);
        if (!device_.waitReadable(wait)) {
            if (device_.hungUp()) fail(EIO, "the line was lost");
            if (wait.count() < 0) throw CSerialException(device_.lastError());  // not a time-out
            if (byInterval) break;  // the next byte did not follow within the interval
            continue;
        }
        got += takeQueued(p + got, want - got);
    }
    return static_cast<int>(got);
}

int CSerialPort::Write(const void* buffer, int count) {
    requireOpen();
    if (count < 0) fail(EINVAL);
    if (count == 0) return 0;
    platform::Deadline total =
        totalDeadline(timeouts_.writeTotalMultiplier, timeouts_.writeTotalConstant, count);
    const auto n = static_cast<std::size_t>(count);
    std::size_t done = device_.write(buffer, n, waitOf(total));
    if (done < n) {
        SystemError err = device_.lastError();
        if (err.osCode != ETIMEDOUT) throw CSerialException(std::move(err));
        return static_cast<int>(done);
    }
    // The bytes are the driver's now; a time-out while they leave takes none of them back.
    device_.drain(waitOf(total));
    return count;
}

void CSerialPort::GetState(SerialState& state) const {
    requireOpen();
    auto line = device_.lineSettings();
    if (!line) fail(errno ? errno : EIO);
    auto flow = platform::readFlowControl(device_.fd());
    if (!flow) fail(errno ? errno : EIO);
    state.line = *line;
    state.flow = *flow;
}

void CSerialPort::SetState(const SerialState& state, bool closeOnFailure) {
    requireOpen();
    if (device_.setLineSettings(state.line) && device_.setFlowControl(state.flow)) return;
    SystemError err = device_.lastError();
    if (closeOnFailure) Close();
    throw CSerialException(std::move(err));
}

void CSerialPort::GetTimeouts(SerialTimeouts& timeouts) const {
    requireOpen();
    timeouts = timeouts_;
}

void CSerialPort::SetTimeouts(const SerialTimeouts& timeouts) {
    requireOpen();
    timeouts_ = timeouts;
}

void CSerialPort::Purge() {
    requireOpen();
    device_.purge();
}

void CSerialPort::SetImmediateRead() {
    SerialTimeouts t;
    GetTimeouts(t);
    t.readInterval = kMax;
    t.readTotalMultiplier = 0;
    t.readTotalConstant = 0;
    SetTimeouts(t);
}
