#include "download/engine/download_line.h"

#include <algorithm>
#include <cerrno>

#include "platform/deadline.h"
#include "serial/port_open.h"

namespace kolvane {

namespace {

// Waits are cut into slices so the cancel flag is seen within one.
constexpr milliseconds kSlice{25};

milliseconds sliceOf(const platform::Deadline& d, milliseconds slice) {
    auto left = std::chrono::ceil<milliseconds>(d.remaining());
    return std::max(milliseconds(1), std::min(slice, left));
}

}  // namespace

bool DownloadLine::open(int port, unsigned baudRate) {
    close();
    openError_ = {};
    // The first opening only configures the line; the second one is kept.
    for (int round = 0; round < 2; ++round) {
        if ((openError_ = serial::openComPort(device_, port))) return false;
        bool set =
            device_.setLineSettings({baudRate, 8, platform::parity::None, platform::stopbits::One});
        if (!set) openError_ = device_.lastError();
        device_.setModemLine(platform::ModemLine::Dtr, false);
        device_.setModemLine(platform::ModemLine::Rts, true);
        if (!set || round == 0) device_.close();
        if (!set) return false;
    }
    return true;
}

void DownloadLine::close() {
    device_.close();
    out_.clear();
    outPos_ = 0;
    readCount_ = 0;
    in_.clear();
    inPos_ = 0;
}

bool DownloadLine::startRead(std::size_t count) {
    if (!device_.isOpen()) return false;
    readCount_ = count;
    return true;
}

void DownloadLine::startWrite(const std::uint8_t* data, std::size_t count) {
    if (!writing()) {
        out_.clear();
        outPos_ = 0;
    }
    out_.insert(out_.end(), data, data + count);
}

WaitResult DownloadLine::pushWrite(milliseconds slice) {
    std::size_t n = device_.write(out_.data() + outPos_, out_.size() - outPos_, slice);
    outPos_ += n;
    if (writing() && device_.lastError().osCode != ETIMEDOUT) return WaitResult::Failed;
    return writing() ? WaitResult::TimedOut : WaitResult::Done;
}

WaitResult DownloadLine::waitWrite(milliseconds wait) {
    if (!device_.isOpen()) return WaitResult::Failed;
    platform::Deadline deadline(wait);
    for (;;) {
        if (cancel_.isSet()) return WaitResult::Cancelled;
        if (writing()) {
            if (pushWrite(sliceOf(deadline, kSlice)) == WaitResult::Failed)
                return WaitResult::Failed;
        } else if (device_.drain(sliceOf(deadline, kSlice))) {
            // The write is complete when its bytes have left, as on the wire.
            return WaitResult::Done;
        }
        if (deadline.expired()) return WaitResult::TimedOut;
    }
}

bool DownloadLine::fillInput() {
    std::uint8_t chunk[512];
    bool any = false;
    for (std::size_t n; (n = device_.readAvailable(chunk, sizeof chunk)) > 0; any = true)
        in_.insert(in_.end(), chunk, chunk + n);
    return any;
}

WaitResult DownloadLine::waitRead(milliseconds wait, std::uint8_t* out) {
    if (!device_.isOpen() || readCount_ == 0) return WaitResult::Failed;
    platform::Deadline deadline(wait);
    for (;;) {
        if (in_.size() - inPos_ >= readCount_ ||
            (fillInput() && in_.size() - inPos_ >= readCount_)) {
            std::copy_n(in_.begin() + static_cast<std::ptrdiff_t>(inPos_), readCount_, out);
            inPos_ += readCount_;
            if (inPos_ == in_.size()) in_.clear(), inPos_ = 0;
            return WaitResult::Done;
        }
        if (cancel_.isSet()) return WaitResult::Cancelled;
        milliseconds slice = kSlice;
        if (writing()) {
            // A write that outlived its own wait goes on while the reply is awaited.
            if (pushWrite(milliseconds(0)) == WaitResult::Failed) return WaitResult::Failed;
            if (writing()) slice = milliseconds(2);
        }
        if (deadline.expired()) return WaitResult::TimedOut;
        // waitReadable ends before its wait without a byte only when the line failed. One
        // length for both: computed twice, the second could come out a millisecond shorter,
        // and a wait that merely ended would be taken for a lost line.
        const milliseconds thisSlice = sliceOf(deadline, slice);
        platform::Deadline sliceEnd(thisSlice);
        if (!device_.waitReadable(thisSlice) && !sliceEnd.expired()) return WaitResult::Failed;
    }
}

WaitResult DownloadLine::write(const void* data, std::size_t count, milliseconds wait) {
    startWrite(static_cast<const std::uint8_t*>(data), count);
    return waitWrite(wait);
}

WaitResult DownloadLine::read(void* buffer, std::size_t count, milliseconds wait) {
    if (!startRead(count)) return WaitResult::Failed;
    return waitRead(wait, static_cast<std::uint8_t*>(buffer));
}

void DownloadLine::discardInput() {
    fillInput();
    in_.clear();
    inPos_ = 0;
}

}  // namespace kolvane
