#include "picture/engine/image_video.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/port_map.h"
#include "platform/precise_time.h"
#include "serial/display_text.h"
#include "serial/port_discovery.h"
#include "serial/port_open.h"

using namespace std::chrono;
namespace wire = pictavo::wire;
using Severity = platform::Report::Severity;

namespace {

constexpr int kHeaderPolls = 200;
constexpr unsigned kHeaderPollMs = 10;
constexpr unsigned kHeaderReadyBytes = 100;
constexpr unsigned kHeaderSettleMs = 200;
constexpr unsigned kQuietCheckMs = 100;
constexpr unsigned kRequestGapMs = 10, kAfterRequestMs = 100;
constexpr unsigned kWakeGapMs = 10;
constexpr unsigned kBeforeResetMs = 2;
constexpr unsigned kReplyQuietMs = 200, kReplyPollMs = 200;
constexpr int kStopChecks = 5;
constexpr unsigned kStopCheckMs = 100;
constexpr char kMakerName[] = "Veltrix";

void sleepMs(unsigned ms) {
    platform::sleepUntil(platform::Deadline(milliseconds(ms)));
}

}  // namespace

const char* captureOutcomeText(CaptureOutcome outcome) {
    switch (outcome) {
        case CaptureOutcome::None:
            return "No picture was taken.";
        case CaptureOutcome::Delivered:
            return "Picture received.";
        case CaptureOutcome::NoHeader:
            return "No picture: the scanner sent no header.";
        case CaptureOutcome::BadHeader:
            return "No picture: the scanner's header block could not be read.";
        case CaptureOutcome::NoImageBuffer:
            return "No picture: the header announced a picture that cannot be held (divisor 0 or "
                   "too large).";
        case CaptureOutcome::BlockError:
            return "No picture: a data block was missing or badly framed.";
        case CaptureOutcome::LineLost:
            return "No picture: the line to the scanner was lost.";
        case CaptureOutcome::Aborted:
            return "Cancelled.";
    }
    return "";
}

CImageVideo::CImageVideo(int portNumber, platform::ReportQueue* reports)
    : port_(portNumber), reports_(reports ? *reports : ownReports_) {}

CImageVideo::~CImageVideo() {
    captureWorker_.stop();
    replyWorker_.stop();
    std::lock_guard l(lineLock_);
    com_.Close();
}

void CImageVideo::message(std::string text, bool error, bool topmost) {
    platform::Report r =
        platform::Report::message(std::move(text), error ? Severity::Error : Severity::Plain);
    r.topmost = topmost;
    reports_.push(std::move(r));
}

// ---- settings ----

void CImageVideo::SetWindow(int x0, int y0, int x1, int y1) {
    std::lock_guard l(settingsLock_);
    settings_.window = {x0, y0, x1, y1};
}

bool CImageVideo::SetQuality(int quality) {
    if (quality < 5 || quality % 5 != 0) return false;
    std::lock_guard l(settingsLock_);
    settings_.quality = quality;
    return true;
}

void CImageVideo::SetSnapshot(bool on) {
    std::lock_guard l(settingsLock_);
    settings_.snapshot = on;
}

void CImageVideo::SetRequestFlags(int flags) {
    std::lock_guard l(settingsLock_);
    settings_.requestFlags = flags;
}

void CImageVideo::SetIdleInterval(unsigned ms) {
    std::lock_guard l(settingsLock_);
    settings_.idleIntervalMs = ms;
}

void CImageVideo::SetImageCallback(ImageCallback callback) {
    std::lock_guard l(settingsLock_);
    imageCallback_ = std::move(callback);
}

int CImageVideo::Quality() const {
    std::lock_guard l(settingsLock_);
    return settings_.quality;
}

pictavo::PictureWindow CImageVideo::Window() const {
    std::lock_guard l(settingsLock_);
    return settings_.window;
}

// ---- the line ----

bool CImageVideo::write(const void* data, int length) {
    std::lock_guard l(lineLock_);
    return com_.Write(data, length);
}

int CImageVideo::read(void* buffer, int count) {
    std::lock_guard l(lineLock_);
    return com_.Read(buffer, count);
}

bool CImageVideo::OpenPort() {
    std::lock_guard l(lineLock_);
    if (com_.IsOpen()) return true;
    if (!com_.Open(port_)) return false;
    ++lineSession_;
    return true;
}

bool CImageVideo::lineLost() const {
    std::lock_guard l(lineLock_);
    return com_.LineLost();
}

std::string CImageVideo::lineLostLine() const {
    return "The line to COM" + std::to_string(port_) +
           " was lost: check that the scanner is plugged in and its port is still in the port map.";
}

std::string CImageVideo::openFailureReason() const {
    return serial::cannotOpenAdvice(com_.LastError(), port_);
}

bool CImageVideo::FindDevice(bool ignorePortName) {
    std::vector<PortEntry> ports;
    // Where the ports came from, so the user knows what to check.
    auto lookedFor = [&] {
        return "COM" + std::to_string(port_) + " was looked for in " +
               platform::portSourceDescription() + ".";
    };
    if (ListPortsForMenu(ports, serial::PortOrder::Ascending) == 0) {
        // An unreadable map lists nothing either: then its reason is the news.
        std::string why = lookedFor();
        for (const std::string& w : platform::listPorts().warnings)
            why += "\n" + serial::displayText(w);
        message("No ports found.\n" + why);
        return false;
    }
    auto port = std::find_if(ports.begin(), ports.end(),
                             [&](const PortEntry& e) { return e.number == port_; });
    if (port == ports.end()) {
        message("Port not found.\n" + lookedFor());
        return false;
    }
    if (port->name.find(kMakerName) == std::string::npos && !ignorePortName) {
        message("Cannot find compatible device.");
        return false;
    }

    bool opened = false;
    std::string reason;  // the second line of "Cannot open COM port"
    {
        std::lock_guard l(lineLock_);
        if (com_.IsOpen() && captureWorker_.running()) {
            // Our own capture holds the line: say so rather than break its picture.
            reason = "A picture is still being taken on COM" + std::to_string(port_) +
                     ": wait for it or cancel it first.";
        } else {
            com_.Close();  // the line of an earlier FindDevice that no capture used
            opened = com_.Open(port_);
            if (!opened) {
                reason = openFailureReason();
                com_.Purge();
                com_.Close();
            }
        }
        if (opened) {
            ++lineSession_;
            com_.SetLineSettings(
                {wire::kBaudRate, 8, platform::parity::None, platform::stopbits::One});
            com_.Purge();
            std::uint8_t etb = wire::ETB;
            com_.Write(&etb, 1);
            sleepMs(kWakeGapMs);
            com_.Write(&etb, 1);
            sleepMs(kWakeGapMs);
        }
    }
    if (!opened) {
        ready_ = false;
        message(reason.empty() ? std::string("Cannot open COM port")
                               : "Cannot open COM port\n" + reason);
        return false;
    }
    ready_ = true;
    return true;
}

// ---- capture ----

int CImageVideo::StartCapture(bool jpeg) {
    {
        std::lock_guard l(settingsLock_);
        settings_.jpeg = jpeg;
    }
    replyWorker_.stop();  // its reads would take the picture's bytes

    if (captureWorker_.running()) {
        // The running thread takes the picture when it gets to it.
        captureWorker_.wake();
        std::lock_guard l(lineLock_);
        com_.Purge();
        return 0;
    }
    captureWorker_.waitForEnd(milliseconds(-1));  // joins a thread that has ended
    {
        std::lock_guard l(lineLock_);
        if (!com_.IsOpen()) return -3;
        com_.SetBaudRate(wire::kBaudRate);
        com_.Purge();
    }
    outcome_ = CaptureOutcome::None;
    // The picture is asked for before the thread runs, so its idle cycle ends at once; a
    // StopCapture right after this call is not undone by a thread that has not started yet.
    if (!captureWorker_.start([this](std::stop_token) { captureThreadMain(); }, true)) {
        message("Create thread failed!!!", true, true);
        return -2;
    }
    return 0;
}

void CImageVideo::StopCapture() {
    captureWorker_.requestStop();
    if (!captureWorker_.isCurrentThread()) {
        for (int i = 0; i < kStopChecks && captureWorker_.running(); ++i)
            captureWorker_.waitForEnd(milliseconds(kStopCheckMs));
        // Still running (a long read, or a slow image callback): the capture thread resets
        // the scanner and closes the line itself when it ends.
        if (captureWorker_.running()) return;
    }
    std::lock_guard l(lineLock_);
    resetScanner();
}

void CImageVideo::resetScanner() {
    if (!com_.IsOpen()) return;
    com_.Purge();
    std::uint8_t etb = wire::ETB;
    com_.Write(&etb, 1);
    sleepMs(kWakeGapMs);
    com_.Write(wire::kResetCommand, wire::kResetCommandLength);
    sleepMs(kWakeGapMs);
    com_.Close();
}

bool CImageVideo::WaitForCaptureEnd(milliseconds wait) {
    return captureWorker_.waitForEnd(wait);
}

bool CImageVideo::pause(unsigned ms) {
    return captureWorker_.pause(milliseconds(ms));
}

void CImageVideo::breakOff() {
    std::lock_guard l(lineLock_);
    std::uint8_t etb = wire::ETB;
    com_.Write(&etb, 1);
    com_.Purge();
}

void CImageVideo::captureThreadMain() {
    std::uint64_t session;
    {
        std::lock_guard l(lineLock_);
        com_.Purge();
        session = lineSession_;
    }
    CaptureOutcome result = CaptureOutcome::Aborted;
    unsigned waitMs = 0;
    for (;;) {
        writeByte(wire::ETB);
        auto wake = captureWorker_.waitForWake(milliseconds(waitMs));
        if (wake == platform::Worker::Wake::Stopped) break;
        if (wake == platform::Worker::Wake::Woken) {
            result = capture();
            break;
        }
        std::lock_guard l(settingsLock_);
        waitMs = settings_.idleIntervalMs;
    }
    {
        // Only the line this thread started with: a FindDevice after the picture has its own.
        std::lock_guard l(lineLock_);
        if (com_.IsOpen() && lineSession_ == session) {
            if (killed())
                resetScanner();
            else
                com_.Close();
        }
    }
    outcome_ = result;
    reports_.push(platform::Report::completed(static_cast<int>(result)));
}

CImageVideo::BlockResult CImageVideo::readBlock(std::uint8_t* buffer, std::size_t capacity,
                                                std::size_t& length) {
    auto r = pictavo::readFramedBlock([this](void* to, int count) { return read(to, count); },
                                      [this] { return killed(); }, buffer, capacity, length);
    if (r == BlockResult::Ok) writeByte(wire::ACK);
    return r;
}

CaptureOutcome CImageVideo::capture() {
    CaptureSettings s;
    {
        std::lock_guard l(settingsLock_);
        s = settings_;
    }
    std::string request =
        pictavo::formatPictureRequest({s.window, s.requestFlags, s.quality, s.snapshot, s.jpeg});

    // The line must be quiet before the request.
    {
        std::lock_guard l(lineLock_);
        com_.Purge();
    }
    for (;;) {
        {
            std::lock_guard l(lineLock_);
            if (com_.BytesWaiting() == 0) break;
        }
        if (!pause(kQuietCheckMs)) {
            breakOff();
            return CaptureOutcome::Aborted;
        }
        std::lock_guard l(lineLock_);
        com_.Purge();
    }
    writeByte(wire::CR);
    sleepMs(kRequestGapMs);
    write(request.data(), static_cast<int>(request.size()));
    pause(kAfterRequestMs);

    // Wait for the header: about 2 s, or without limit in snapshot mode (the user aims and
    // triggers).
    for (int polls = 0; polls < kHeaderPolls; ++polls) {
        if (s.snapshot) polls = 0;
        if (killed()) {
            breakOff();
            return CaptureOutcome::Aborted;
        }
        {
            std::lock_guard l(lineLock_);
            if (com_.BytesWaiting() > kHeaderReadyBytes) break;
        }
        // An unplugged adapter must end even the unlimited wait for the trigger.
        if (lineLost()) {
            message("ReceiveDataBlockError\n" + lineLostLine(), true);
            return CaptureOutcome::LineLost;
        }
        pause(kHeaderPollMs);
    }
    pause(kHeaderSettleMs);

    std::uint8_t block[pictavo::kBlockBufferSize];
    std::size_t length = 0;
    BlockResult r = readBlock(block, sizeof block, length);
    if (r != BlockResult::Ok) {
        breakOff();
        return r == BlockResult::Killed   ? CaptureOutcome::Aborted
               : r == BlockResult::Silent ? CaptureOutcome::NoHeader
                                          : CaptureOutcome::BadHeader;
    }
    auto header = pictavo::parsePictureHeader(block, length);
    if (!header) {
        breakOff();
        return CaptureOutcome::BadHeader;
    }
    std::uint64_t size = header->imageBytes();
    if (header->divisor == 0 || size > pictavo::kImageBufferLimit) {
        breakOff();
        return CaptureOutcome::NoImageBuffer;
    }
    std::vector<std::uint8_t> image;
    try {
        image.assign(static_cast<std::size_t>(size), 0);
    } catch (const std::bad_alloc&) {
        breakOff();
        return CaptureOutcome::NoImageBuffer;
    }

    std::size_t received = 0;
    const long long dataBlocks = header->blocks - 1LL;
    for (long long j = 0; j < dataBlocks; ++j) {
        if (killed()) {
            progress(0);
            return CaptureOutcome::Aborted;
        }
        progress(static_cast<int>((j + 1) * 100 / dataBlocks));
        pause(kBlockPauseMs);
        std::size_t room = std::min(pictavo::kBlockBufferSize, image.size() - received);
        r = readBlock(image.data() + received, room, length);
        if (r != BlockResult::Ok) {
            image = {};
            breakOff();
            progress(0);
            if (killed()) return CaptureOutcome::Aborted;
            if (lineLost()) {
                message("ReceiveDataBlockError\n" + lineLostLine(), true);
                return CaptureOutcome::LineLost;
            }
            message("ReceiveDataBlockError", true);
            return CaptureOutcome::BlockError;
        }
        received += length;
    }

    sleepMs(kBeforeResetMs);
    write(wire::kResetCommand, wire::kResetCommandLength);
    std::uint8_t answer;
    read(&answer, 1);
    StopCapture();
    progress(0);

    ImageCallback callback;
    {
        std::lock_guard l(settingsLock_);
        callback = imageCallback_;
    }
    if (callback) {
        if (s.jpeg) {
            callback(nullptr, image.data(), received);
        } else {
            // The picture's own size, so the rows line up whatever window was asked for.
            pictavo::BitmapInfo info = bitmapHeader_;
            info.width = header->width();
            info.height = -header->height();
            info.sizeImage = static_cast<std::uint32_t>(std::uint64_t(header->width()) *
                                                        std::uint64_t(header->height()));
            callback(&info, image.data(), received);
        }
    }
    return CaptureOutcome::Delivered;
}

// ---- commands ----

void CImageVideo::startReplyThread() {
    if (replyWorker_.running()) return;
    {
        std::lock_guard l(replyLock_);
        replyBuffer_.clear();
    }
    replyEvent_.reset();
    if (!replyWorker_.start([this](std::stop_token) { replyThreadMain(); }))
        message("Create thread failed!!!", true, true);
}

void CImageVideo::replyThreadMain() {
    std::uint8_t chunk[kReplyBufferSize];
    for (;;) {
        bool got = false;
        {
            std::lock_guard line(lineLock_);
            unsigned waiting = com_.BytesWaiting();
            if (waiting > 0) {
                std::lock_guard l(replyLock_);
                // What does not fit stays in the driver's queue; the next purge drops it.
                std::size_t room = kReplyBufferSize - 1 - replyBuffer_.size();
                int take = static_cast<int>(std::min<std::size_t>(waiting, room));
                if (take > 0 && com_.Read(chunk, take) == take) {
                    replyBuffer_.insert(replyBuffer_.end(), chunk, chunk + take);
                    got = true;
                }
            }
        }
        if (got) replyEvent_.set();
        if (!replyWorker_.pause(milliseconds(kReplyPollMs))) break;
    }
}

bool CImageVideo::SendCommand(const void* data, int length, char* reply, std::size_t replySize,
                              bool wantReply, int& replyLength, unsigned delayMs) {
    replyLength = 0;
    commandLostLine_ = false;
    if (reply && replySize > 0) reply[0] = '\0';
    startReplyThread();
    bool written = false;
    {
        std::lock_guard l(lineLock_);
        if (!com_.IsOpen() && com_.Open(port_)) ++lineSession_;
        if (!com_.IsOpen()) return false;
        com_.SetLineSettings({wire::kBaudRate, 8, platform::parity::None, platform::stopbits::One});
        com_.Purge();
        {
            std::lock_guard r(replyLock_);
            replyBuffer_.clear();  // nothing from before the purge belongs to this reply
        }
        written = com_.Write(data, length);
    }
    if (wantReply) {
        sleepMs(delayMs);
        replyEvent_.reset();
        while (replyEvent_.wait(milliseconds(kReplyQuietMs))) replyEvent_.reset();
        std::lock_guard r(replyLock_);
        if (reply && replySize > 0) {
            std::size_t n = std::min(replyBuffer_.size(), replySize - 1);
            if (n > 0) std::memcpy(reply, replyBuffer_.data(), n);
            reply[n] = '\0';
            replyLength = static_cast<int>(n);
        }
        replyBuffer_.clear();
    }
    std::lock_guard l(lineLock_);
    commandLostLine_ = com_.LineLost();
    com_.Close();
    return written;
}
