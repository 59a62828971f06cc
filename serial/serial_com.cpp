#include "serial/serial_com.h"

#include <algorithm>
#include <chrono>

#include "platform/deadline.h"
#include "serial/irda_adapter.h"
#include "serial/port_open.h"

using std::chrono::milliseconds;

CSerialCom::CSerialCom() = default;

CSerialCom::~CSerialCom() {
    Close();
}

bool CSerialCom::Open(int portNumber) {
    if (IsOpen()) return false;
    openError_ = {};
    openAdvice_.clear();
    if (auto err = serial::openComPort(device_, portNumber)) {
        openError_ = err;
        openAdvice_ = serial::cannotOpenAdvice(err, portNumber);
        return false;
    }
    port_ = portNumber;
    original_ = device_.lineSettings();
    // The device layer leaves no flow control on; DTR and RTS are raised as an enabled
    // control line would be (quietly nothing on a line without modem lines).
    lines().set(platform::ModemLine::Dtr, true);
    lines().set(platform::ModemLine::Rts, true);
    Purge();
    dtr_ = rts_ = true;
    SetBufferSizes(kQueueSize, kQueueSize);
    return true;
}

void CSerialCom::Close() {
    if (!IsOpen()) return;
    // The next program to open the port finds it as it was.
    if (original_) device_.setLineSettings(*original_);
    original_.reset();
    device_.close();
}

int CSerialCom::Read(void* buffer, int count) {
    if (!IsOpen() || count <= 0) return 0;
    return static_cast<int>(
        device_.readExact(buffer, static_cast<std::size_t>(count), milliseconds(kWaitTimeMs)));
}

bool CSerialCom::Write(const void* buffer, int count) {
    if (!IsOpen() || count < 0) return false;
    platform::Deadline deadline{milliseconds(kWaitTimeMs)};
    auto left = [&] { return std::chrono::duration_cast<milliseconds>(deadline.remaining()); };
    std::size_t n = static_cast<std::size_t>(count);
    // A write is complete when the bytes have left, as a serial write completes on the wire.
    return device_.write(buffer, n, left()) == n && device_.drain(left());
}

bool CSerialCom::Purge() {
    return IsOpen() && device_.purge();
}

unsigned CSerialCom::BytesWaiting() const {
    return device_.bytesWaiting();
}

unsigned CSerialCom::BytesPending() const {
    return device_.bytesPending();
}

bool CSerialCom::WaitReadable(int waitMs) {
    return IsOpen() && device_.waitReadable(milliseconds(std::max(waitMs, 0)));
}

template <class Change>
bool CSerialCom::changeLine(Change change) {
    if (!IsOpen()) return false;
    auto s = device_.lineSettings().value_or(platform::LineSettings{});
    change(s);
    return device_.setLineSettings(s);
}

bool CSerialCom::SetBaudRate(unsigned baudRate) {
    return changeLine([&](platform::LineSettings& s) { s.baudRate = baudRate; });
}

bool CSerialCom::SetByteSize(std::uint8_t dataBits) {
    return changeLine([&](platform::LineSettings& s) { s.dataBits = dataBits; });
}

bool CSerialCom::SetParity(std::uint8_t parity) {
    return changeLine([&](platform::LineSettings& s) { s.parity = parity; });
}

bool CSerialCom::SetStopBits(std::uint8_t stopBits) {
    return changeLine([&](platform::LineSettings& s) { s.stopBits = stopBits; });
}

bool CSerialCom::SetLineSettings(const platform::LineSettings& settings) {
    return IsOpen() && device_.setLineSettings(settings);
}

// The driver's queues here are its own size; a request is accepted as long as the port is open.
bool CSerialCom::SetBufferSizes(unsigned, unsigned) {
    return IsOpen();
}

void CSerialCom::SetDTR(bool on) {
    dtr_ = on;
    lines().set(platform::ModemLine::Dtr, on);
}

void CSerialCom::SetRTS(bool on) {
    rts_ = on;
    lines().set(platform::ModemLine::Rts, on);
}

bool CSerialCom::GetCTS() {
    auto s = lines().status();
    return s && s->cts;
}

bool CSerialCom::GetDSR() {
    auto s = lines().status();
    return s && s->dsr;
}

std::string CSerialCom::OpenFailureAdvice() const {
    return openAdvice_;
}

platform::SystemError CSerialCom::LastError() const {
    return IsOpen() ? device_.lastError() : openError_;
}

void CSerialCom::ProgramIrDAAdapter(int adapterType, unsigned baudRate) {
    std::optional<platform::LineSettings> kept;
    for (const auto& step : serial::irdaAdapterSteps(adapterType, baudRate)) {
        switch (step.kind) {
            case serial::IrdaStep::Dtr:
                SetDTR(step.value != 0);
                break;
            case serial::IrdaStep::Rts:
                SetRTS(step.value != 0);
                break;
            case serial::IrdaStep::Wait:
                lines().pause(milliseconds(step.value));
                break;
            case serial::IrdaStep::Write: {
                std::uint8_t byte = static_cast<std::uint8_t>(step.value);
                Write(&byte, 1);
                break;
            }
            case serial::IrdaStep::Purge:
                Purge();
                break;
            case serial::IrdaStep::LineTo9600:
                kept = device_.lineSettings();
                SetLineSettings({9600, 8, platform::parity::None, platform::stopbits::One});
                break;
            case serial::IrdaStep::RestoreLine:
                if (kept && IsOpen()) device_.setLineSettings(*kept);
                break;
        }
    }
}
