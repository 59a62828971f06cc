#include "installer/engine/monitor_engine.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <utility>

#include "platform/folders.h"

namespace fenwald {

IrdaCorrection correctIrdaSettings(int irda, unsigned baudRate) {
    IrdaCorrection c{irda, baudRate, {}, {}};
    if (c.irda > serial::irda::Kwd4400) {
        c.irda = serial::irda::None;
        c.typeMessage = kInvalidIrdaDevice;
    }
    if ((c.irda == serial::irda::Actisys && c.baudRate <= 4800) ||
        (c.irda == serial::irda::Kwd4400 && c.baudRate == 57600)) {
        c.baudRate = 9600;
        c.baudMessage = kInvalidBaudRate;
    }
    return c;
}

// Keeps the receive thread out of its passes for the object's life: it waits for the running
// pass to end, and the thread starts no other until the last hold goes.
class MonitorEngine::Hold {
public:
    explicit Hold(MonitorEngine& engine) : engine_(engine) {
        std::unique_lock l(engine_.gateLock_);
        ++engine_.holds_;
        engine_.gateChanged_.wait(l, [&] { return !engine_.inPass_; });
    }
    ~Hold() {
        {
            std::lock_guard l(engine_.gateLock_);
            --engine_.holds_;
        }
        engine_.gateChanged_.notify_all();
    }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    MonitorEngine& engine_;
};

MonitorEngine::MonitorEngine(platform::ModemLines* modemLines) {
    com_.SetModemLines(modemLines);
    worker_.setStopHook([this] {
        std::lock_guard l(gateLock_);  // the parked thread is waiting under it
        gateChanged_.notify_all();
    });
    // One that cannot start now is tried again by applyLine, which says why it failed.
    (void)startReceiving();
}

bool MonitorEngine::startReceiving() {
    return worker_.running() || worker_.start([this](std::stop_token) { run(); });
}

MonitorEngine::~MonitorEngine() {
    worker_.stop();
    if (text_.file) std::fclose(text_.file);
}

// ---- the receive thread ----

void MonitorEngine::run() {
    for (;;) {
        {
            std::unique_lock l(gateLock_);
            gateChanged_.wait(l,
                              [&] { return worker_.stopRequested() || (holds_ == 0 && usable_); });
            if (worker_.stopRequested()) return;
            inPass_ = true;
        }
        pass();
        {
            std::lock_guard l(gateLock_);
            inPass_ = false;
        }
        gateChanged_.notify_all();
    }
}

bool MonitorEngine::interrupted() const {
    return holds_ > 0 || worker_.stopRequested();
}

void MonitorEngine::pass() {
    reportLamps();
    if (interrupted()) return;
    bool sent = false;
    if (text_.file && com_.BytesPending() == 0) {
        sendPiece();
        sent = true;
        if (interrupted()) return;
    }
    unsigned waiting = com_.BytesWaiting();
    if (waiting == 0) {
        // After a piece the next goes at once (its write waited for it to leave); a piece held
        // back by a full output queue waits a little on the line.
        int wait = static_cast<int>(!text_.file ? kLineWait.count() : sent ? 0 : kPendingWaitMs);
        if (!com_.WaitReadable(wait)) {
            if (com_.LineLost()) lineLost();
            return;
        }
        if (interrupted()) return;
        waiting = com_.BytesWaiting();
    }
    int n = static_cast<int>(std::min<unsigned>(waiting, kReadMax));
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n));
    // With n bytes queued the read takes them at once.
    if (n > 0 && com_.Read(bytes.data(), n) == n)
        push(MonitorEvent::Kind::Received, 0, std::move(bytes));
    else if (com_.LineLost())
        lineLost();
}

void MonitorEngine::reportLamps() {
    bool cts = com_.GetCTS();
    if (lastCts_ != cts) {
        lastCts_ = cts;
        push(MonitorEvent::Kind::Cts, cts ? 1 : 0);
    }
    bool dsr = com_.GetDSR();
    if (lastDsr_ != dsr) {
        lastDsr_ = dsr;
        push(MonitorEvent::Kind::Dsr, dsr ? 1 : 0);
    }
}

void MonitorEngine::sendPiece() {
    std::vector<std::uint8_t> piece(kPieceMax);
    std::size_t n = std::fread(piece.data(), 1, piece.size(), text_.file);
    if (n > 0) {
        bool written;
        {
            std::lock_guard w(writeLock_);
            written = com_.Write(piece.data(), static_cast<int>(n));
        }
        if (!written) {
            endText(TextEnd::Failed, com_.LastError().text);
            return;
        }
        text_.position += n;
    }
    if (text_.length > 0) {
        // 64 bits: a file of more than 40 MB would overflow position x 100 in 32.
        auto percent = static_cast<int>(
            std::min<std::uintmax_t>(100, std::uint64_t(text_.position) * 100 / text_.length));
        if (percent != 0 && percent != text_.lastProgress) {
            text_.lastProgress = percent;
            push(MonitorEvent::Kind::Progress, percent);
        }
    }
    if (n > 0) {
        piece.resize(n);
        push(MonitorEvent::Kind::Sent, 0, std::move(piece));
    } else if (std::ferror(text_.file)) {
        endText(TextEnd::Failed, std::string(kCannotReadFile) + text_.path);
    } else {
        endText(TextEnd::Transmitted);
    }
}

void MonitorEngine::lineLost() {
    setUsable(false);
    if (text_.file) {
        // A hang-up seen between two calls leaves no error behind; the reason is the same.
        platform::SystemError error = com_.LastError();
        if (!error) error = platform::SystemError::fromCode(EIO, "line closed");
        endText(TextEnd::Failed, error.text);
    }
    push(MonitorEvent::Kind::LineLost);
}

// ---- shared by the thread and the parked front end ----

void MonitorEngine::endText(TextEnd how, std::string reason) {
    if (!text_.file) return;
    std::fclose(text_.file);
    text_ = {};
    textActive_ = false;
    push(MonitorEvent::Kind::TextEnded, static_cast<int>(how), {}, std::move(reason));
}

void MonitorEngine::setUsable(bool usable) {
    {
        std::lock_guard l(gateLock_);
        usable_ = usable;
    }
    gateChanged_.notify_all();
}

void MonitorEngine::push(MonitorEvent::Kind kind, int value, std::vector<std::uint8_t> bytes,
                         std::string text) {
    events_.push(MonitorEvent{kind, value, std::move(bytes), std::move(text)});
}

// ---- the front end's calls ----

void MonitorEngine::closeHeld() {
    endText(TextEnd::Stopped);
    com_.Close();
    openPort_ = 0;
    setUsable(false);
}

ApplyOutcome MonitorEngine::applyLine(const MonitorLineSettings& settings) {
    std::lock_guard c(controlLock_);
    IrdaCorrection correction = correctIrdaSettings(settings.irda, settings.baudRate);
    ApplyOutcome out;
    out.settings = settings;
    out.settings.irda = correction.irda;
    out.irdaTypeMessage = correction.typeMessage;

    if (!startReceiving()) {
        // Without the receive thread an open line would bring nothing.
        const platform::SystemError why = worker_.startFailure();
        out.openError = platform::SystemError::fromCode(why.osCode ? why.osCode : EAGAIN,
                                                        "the monitor cannot start its thread");
        return out;
    }
    Hold hold(*this);
    if (com_.IsOpen() && (com_.GetPortNumber() != settings.port || com_.LineLost())) closeHeld();
    applied_ = out.settings;
    if (!com_.IsOpen() && !com_.Open(settings.port)) {
        out.openError = com_.LastError();
        return out;
    }
    out.opened = true;
    out.settings.baudRate = correction.baudRate;
    out.baudRateMessage = correction.baudMessage;
    applied_ = out.settings;
    // All four in one step, then the adapter: its pulses do not depend on the data format, and
    // the Tekram switch puts back the settings it found, so this ends as setting the rate, the
    // adapter and then the rest would.
    const auto& s = out.settings;
    out.lineSet = com_.SetLineSettings({s.baudRate, s.dataBits, s.parity, s.stopBits});
    if (!out.lineSet) out.lineError = com_.LastError();
    com_.ProgramIrDAAdapter(s.irda, s.baudRate);
    out.lamps = {com_.GetCTS(), com_.GetRTS(), com_.GetDSR(), com_.GetDTR()};
    openPort_ = s.port;
    setUsable(true);
    return out;
}

ApplyOutcome MonitorEngine::reopen() {
    std::optional<MonitorLineSettings> last;
    {
        std::lock_guard c(controlLock_);
        last = applied_;
    }
    return last ? applyLine(*last) : ApplyOutcome{};
}

void MonitorEngine::closeLine() {
    std::lock_guard c(controlLock_);
    Hold hold(*this);
    closeHeld();
}

bool MonitorEngine::portRemoved(int portNumber) {
    std::lock_guard c(controlLock_);
    if (!applied_ || applied_->port != portNumber) return false;
    Hold hold(*this);
    closeHeld();
    return true;
}

LampStates MonitorEngine::lamps() {
    std::lock_guard c(controlLock_);
    return {com_.GetCTS(), com_.GetRTS(), com_.GetDSR(), com_.GetDTR()};
}

bool MonitorEngine::toggleRts() {
    std::lock_guard c(controlLock_);
    com_.SetRTS(!com_.GetRTS());
    return com_.GetRTS();
}

bool MonitorEngine::toggleDtr() {
    std::lock_guard c(controlLock_);
    com_.SetDTR(!com_.GetDTR());
    return com_.GetDTR();
}

bool MonitorEngine::write(const std::uint8_t* data, std::size_t length) {
    std::lock_guard c(controlLock_);
    std::lock_guard w(writeLock_);
    return com_.Write(data, static_cast<int>(length));
}

TextStartResult MonitorEngine::startTextFile(const std::string& path) {
    std::lock_guard c(controlLock_);
    if (!com_.IsOpen()) return {TextStartResult::LineNotOpen, std::string(kCannotTransmit)};
    if (textActive_) return {TextStartResult::Busy, std::string(kTextFileBusy)};
    platform::SystemError why;
    std::FILE* file = platform::openRegularFileStream(path, &why);
    if (!file) {
        std::string message = std::string(kCannotOpenFile) + path;
        // The window's words for a file that is not there; a FIFO or a folder is named as such.
        if (why.osCode == EINVAL || why.osCode == EISDIR) message += ": " + why.text;
        return {TextStartResult::CannotOpen, message};
    }
    int first = std::fgetc(file);
    if (first == EOF) {
        std::fclose(file);
        return {TextStartResult::CannotRead, std::string(kCannotReadFile) + path};
    }
    std::error_code error;
    std::uintmax_t length = std::filesystem::file_size(path, error);

    Hold hold(*this);
    std::uint8_t byte = static_cast<std::uint8_t>(first);
    bool written;
    {
        std::lock_guard w(writeLock_);
        written = com_.Write(&byte, 1);
    }
    if (!written) {
        std::fclose(file);
        return {TextStartResult::CannotWrite, com_.LastError().text};
    }
    text_ = {file, path, error ? 0 : length, 1, 1};
    textActive_ = true;
    push(MonitorEvent::Kind::Sent, 0, {byte});
    push(MonitorEvent::Kind::Progress, 1);
    return {};
}

void MonitorEngine::stopTextFile() {
    std::lock_guard c(controlLock_);
    Hold hold(*this);
    endText(TextEnd::Stopped);
}

}  // namespace fenwald
