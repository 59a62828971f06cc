// termios2 (asm/termbits.h) rather than <termios.h>: it is the interface that takes any baud
// rate, and the two headers cannot be included together.
#include "platform/serial_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/deadline.h"
#include "platform/precise_time.h"
#include "platform/trace.h"

namespace platform {

namespace {

struct SpeedCode {
    tcflag_t code;
    unsigned rate;
};
constexpr SpeedCode kSpeeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
};

bool getTermios(int fd, termios2& t) {
    return ::ioctl(fd, TCGETS2, &t) == 0;
}
bool setTermios(int fd, const termios2& t) {
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

unsigned speedOf(const termios2& t) {
    tcflag_t code = t.c_cflag & CBAUD;
    if (code == BOTHER) return t.c_ospeed;
    for (auto s : kSpeeds)
        if (s.code == code) return s.rate;
    return t.c_ospeed;
}

void setSpeed(termios2& t, unsigned rate) {
    tcflag_t code = BOTHER;
    for (auto s : kSpeeds)
        if (s.rate == rate) code = s.code;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= code | (code << IBSHIFT);
    t.c_ispeed = t.c_ospeed = rate;
}

void makeRaw(termios2& t) {
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IUCLC | IMAXBEL);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~CRTSCTS;
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
}

bool tracing() {
    return trace::enabled(trace::Kind::Line);
}

void traceLine(const std::string& path, const std::string& what) {
    trace::write(trace::Kind::Line, trace::escaped(path) + " " + what);
}

std::string settingsText(const LineSettings& s) {
    static constexpr char kParity[] = "NOEMS";
    static constexpr const char* kStopBits[] = {"1", "1.5", "2"};
    std::string text = "settings " + std::to_string(s.baudRate) + " " + std::to_string(s.dataBits);
    text += s.parity <= parity::Space ? kParity[s.parity] : '?';
    text += s.stopBits <= stopbits::Two ? kStopBits[s.stopBits] : "?";
    return text;
}

std::string flowText(const FlowControl& f) {
    std::string text;
    if (f.rtsCts) text += " rts/cts";
    if (f.xonXoffOut) text += " xon/xoff-out";
    if (f.xonXoffIn) text += " xon/xoff-in";
    return "flow control" + (text.empty() ? std::string(" none") : text);
}

}  // namespace

double characterTime(const LineSettings& s) {
    if (s.baudRate == 0) return 0;
    double bits = 1.0 + s.dataBits + (s.parity != parity::None ? 1 : 0) +
                  (s.stopBits == stopbits::One          ? 1.0
                   : s.stopBits == stopbits::OneAndHalf ? 1.5
                                                        : 2.0);
    return bits / s.baudRate;
}

std::optional<LineSettings> readLineSettings(int fd) {
    termios2 t{};
    if (!getTermios(fd, t)) return std::nullopt;
    LineSettings s;
    s.baudRate = speedOf(t);
    switch (t.c_cflag & CSIZE) {
        case CS5:
            s.dataBits = 5;
            break;
        case CS6:
            s.dataBits = 6;
            break;
        case CS7:
            s.dataBits = 7;
            break;
        default:
            s.dataBits = 8;
            break;
    }
    if (!(t.c_cflag & PARENB))
        s.parity = parity::None;
    else if (t.c_cflag & CMSPAR)
        s.parity = (t.c_cflag & PARODD) ? parity::Mark : parity::Space;
    else
        s.parity = (t.c_cflag & PARODD) ? parity::Odd : parity::Even;
    if (!(t.c_cflag & CSTOPB))
        s.stopBits = stopbits::One;
    else
        s.stopBits = s.dataBits == 5 ? stopbits::OneAndHalf : stopbits::Two;
    return s;
}

std::optional<FlowControl> readFlowControl(int fd) {
    termios2 t{};
    if (!getTermios(fd, t)) return std::nullopt;
    FlowControl f;
    f.rtsCts = (t.c_cflag & CRTSCTS) != 0;
    f.xonXoffOut = (t.c_iflag & IXON) != 0;
    f.xonXoffIn = (t.c_iflag & IXOFF) != 0;
    return f;
}

bool writeFlowControl(int fd, const FlowControl& f) {
    termios2 t{};
    if (!getTermios(fd, t)) return false;
    t.c_cflag = f.rtsCts ? (t.c_cflag | CRTSCTS) : (t.c_cflag & ~CRTSCTS);
    t.c_iflag = f.xonXoffOut ? (t.c_iflag | IXON) : (t.c_iflag & ~IXON);
    t.c_iflag = f.xonXoffIn ? (t.c_iflag | IXOFF) : (t.c_iflag & ~IXOFF);
    return setTermios(fd, t);
}

SerialDevice::~SerialDevice() {
    close();
}

void SerialDevice::fail(int e, std::string detail) {
    std::lock_guard l(stateLock_);
    error_ = SystemError::fromCode(e, std::move(detail));
}

SystemError SerialDevice::lastError() const {
    std::lock_guard l(stateLock_);
    return error_;
}

bool SerialDevice::open(const std::string& devicePath) {
    const bool opened = openUntraced(devicePath);
    if (tracing()) traceLine(devicePath, opened ? "open" : "open failed: " + lastError().text);
    return opened;
}

bool SerialDevice::openUntraced(const std::string& devicePath) {
    if (isOpen()) {
        fail(EBUSY, "already open");
        return false;
    }
    {
        std::lock_guard l(stateLock_);
        error_ = {};
    }
    int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int e = errno == EWOULDBLOCK ? EBUSY : errno;
        ::close(fd);
        std::string holder = deviceHolder(devicePath);
        fail(e, holder.empty() ? std::string() : "in use by " + holder);
        return false;
    }
    termios2 t{};
    if (!getTermios(fd, t)) {
        fail(errno == EINVAL ? ENOTTY : errno);
        ::close(fd);
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    makeRaw(t);
    if (!setTermios(fd, t)) {
        fail(errno);
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = devicePath;
    std::lock_guard l(stateLock_);
    requested_.reset();
    return true;
}

void SerialDevice::close() {
    if (fd_ < 0) return;
    if (tracing()) traceLine(path_, "close");
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);  // also drops the flock
    fd_ = -1;
}

std::optional<LineSettings> SerialDevice::lineSettings() const {
    if (!isOpen()) return std::nullopt;
    auto s = readLineSettings(fd_);
    std::lock_guard l(stateLock_);
    if (s && requested_) {
        s->dataBits = requested_->dataBits;
        s->parity = requested_->parity;
        // Two stop bits and one and a half are the same flag; the data bits tell them apart.
        if (s->stopBits != stopbits::One && requested_->stopBits != stopbits::One)
            s->stopBits = requested_->stopBits;
    }
    return s;
}

bool SerialDevice::setLineSettings(const LineSettings& s) {
    const bool set = setLineSettingsUntraced(s);
    if (tracing()) traceLine(path_, settingsText(s) + (set ? "" : " failed: " + lastError().text));
    return set;
}

bool SerialDevice::setLineSettingsUntraced(const LineSettings& s) {
    if (!isOpen()) {
        fail(EBADF);
        return false;
    }
    termios2 t{};
    if (!getTermios(fd_, t)) {
        fail(errno);
        return false;
    }
    bool valid = s.baudRate > 0 && s.dataBits >= 5 && s.dataBits <= 8 &&
                 s.parity <= parity::Space && s.stopBits <= stopbits::Two &&
                 (s.stopBits != stopbits::OneAndHalf || s.dataBits == 5) &&
                 (s.stopBits != stopbits::Two || s.dataBits != 5);
    if (!valid) {
        fail(EINVAL);
        return false;
    }
    setSpeed(t, s.baudRate);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[s.dataBits - 5];
    switch (s.parity) {
        case parity::Odd:
            t.c_cflag |= PARENB | PARODD;
            break;
        case parity::Even:
            t.c_cflag |= PARENB;
            break;
        case parity::Mark:
            t.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case parity::Space:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (s.stopBits != stopbits::One) t.c_cflag |= CSTOPB;
    if (!setTermios(fd_, t)) {
        fail(errno);
        return false;
    }
    // Drivers may round a rate they cannot make; one they refuse outright reads back changed.
    auto now = readLineSettings(fd_);
    if (!now || now->baudRate == 0) {
        fail(EINVAL, "baud rate not accepted");
        return false;
    }
    std::lock_guard l(stateLock_);
    requested_ = s;
    return true;
}

bool SerialDevice::setFlowControl(const FlowControl& f) {
    if (!isOpen()) {
        fail(EBADF);
        return false;
    }
    if (!writeFlowControl(fd_, f)) {
        fail(errno);
        if (tracing()) traceLine(path_, flowText(f) + " failed: " + lastError().text);
        return false;
    }
    if (tracing()) traceLine(path_, flowText(f));
    return true;
}

std::size_t SerialDevice::readExact(void* buffer, std::size_t count,
                                    std::chrono::milliseconds wait) {
    if (!isOpen()) return 0;
    if (count == 0) return 0;
    Deadline deadline = wait.count() < 0 ? Deadline::never() : Deadline(wait);
    double charTime = 0;
    if (auto s = lineSettings()) charTime = characterTime(*s);
    for (;;) {
        unsigned queued = bytesWaiting();
        if (queued >= count) {
            std::size_t got = 0;
            auto* p = static_cast<unsigned char*>(buffer);
            while (got < count) {
                ssize_t r = ::read(fd_, p + got, count - got);
                if (r > 0) {
                    got += static_cast<std::size_t>(r);
                } else if (r < 0 && errno == EINTR) {
                    continue;
                } else {
                    // Counted bytes that cannot be read: the line went away under us.
                    fail(r < 0 ? errno : EIO);
                    if (tracing()) traceLine(path_, "read failed: " + lastError().text);
                    return 0;
                }
            }
            if (tracing())
                traceLine(path_, "read " + std::to_string(got) + ": " + trace::bytes(p, got));
            return got;
        }
        if (deadline.expired()) {
            if (tracing())
                traceLine(path_, "read " + std::to_string(count) + " timed out with " +
                                     std::to_string(queued) + " queued");
            return 0;
        }
        if (queued == 0) {
            pollfd pfd{fd_, POLLIN, 0};
            int r = ::poll(&pfd, 1, deadline.pollTimeout());
            if (r < 0 && errno != EINTR) {
                fail(errno);
                return 0;
            }
            if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
                fail(EIO, "line closed");
                return 0;
            }
        } else {
            // Part of the count is here; sleep about as long as the rest takes on the wire.
            auto rest = std::chrono::duration<double>(charTime * double(count - queued));
            Clock::duration nap = std::chrono::duration_cast<Clock::duration>(rest);
            nap = std::clamp<Clock::duration>(nap, std::chrono::milliseconds(1),
                                              std::chrono::milliseconds(20));
            sleepUntil(Clock::now() + std::min(nap, deadline.remaining()));
        }
    }
}

std::size_t SerialDevice::readAvailable(void* buffer, std::size_t max) {
    if (!isOpen() || max == 0) return 0;
    for (;;) {
        ssize_t r = ::read(fd_, buffer, max);
        if (r > 0 && tracing())
            traceLine(path_, "read " + std::to_string(r) + ": " +
                                 trace::bytes(buffer, static_cast<std::size_t>(r)));
        if (r >= 0) return static_cast<std::size_t>(r);
        if (errno == EINTR) continue;
        if (errno != EAGAIN) fail(errno);
        return 0;
    }
}

bool SerialDevice::waitReadable(std::chrono::milliseconds wait) {
    if (!isOpen()) return false;
    Deadline deadline = wait.count() < 0 ? Deadline::never() : Deadline(wait);
    for (;;) {
        if (bytesWaiting() > 0) return true;
        pollfd pfd{fd_, POLLIN, 0};
        int r = ::poll(&pfd, 1, deadline.pollTimeout());
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) && bytesWaiting() == 0) {
            fail(EIO, "line closed");
            return false;
        }
        if (r < 0 && errno != EINTR) {
            fail(errno);
            return false;
        }
        if (r == 0 || deadline.expired()) return bytesWaiting() > 0;
    }
}

std::size_t SerialDevice::write(const void* data, std::size_t count,
                                std::chrono::milliseconds wait) {
    if (!isOpen()) return 0;
    Deadline deadline = wait.count() < 0 ? Deadline::never() : Deadline(wait);
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < count) {
        ssize_t w = ::write(fd_, p + done, count - done);
        if (w > 0) {
            done += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        if (w < 0 && errno != EAGAIN) {
            fail(errno);
            break;
        }
        if (deadline.expired()) {
            fail(ETIMEDOUT);
            break;
        }
        pollfd pfd{fd_, POLLOUT, 0};
        int r = ::poll(&pfd, 1, deadline.pollTimeout());
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
            fail(EIO, "line closed");
            break;
        }
    }
    if (tracing()) {
        std::string what = "write " + std::to_string(done);
        if (done < count) what += " of " + std::to_string(count) + " (" + lastError().text + ")";
        traceLine(path_, what + ": " + trace::bytes(p, done));
    }
    return done;
}

bool SerialDevice::drain(std::chrono::milliseconds wait) {
    if (!isOpen()) return false;
    Deadline deadline = wait.count() < 0 ? Deadline::never() : Deadline(wait);
    double charTime = 0;
    if (auto s = lineSettings()) charTime = characterTime(*s);
    // Sleep as long as the queued bytes take on the wire rather than in fixed naps: on a short
    // command a 2 ms nap costs more than the command's own time.
    for (unsigned pending; (pending = bytesPending()) > 0;) {
        if (deadline.expired()) {
            if (tracing())
                traceLine(path_, "drain timed out with " + std::to_string(pending) + " pending");
            return false;
        }
        auto rest = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(charTime * pending));
        rest = std::clamp<Clock::duration>(rest, std::chrono::microseconds(50),
                                           std::chrono::milliseconds(20));
        sleepUntil(Clock::now() + std::min(rest, deadline.remaining()));
    }
    if (tracing()) traceLine(path_, "drain");
    return true;
}

bool SerialDevice::hungUp() const {
    if (!isOpen()) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0) return false;
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) && bytesWaiting() == 0;
}

unsigned SerialDevice::bytesWaiting() const {
    int n = 0;
    if (!isOpen() || ::ioctl(fd_, FIONREAD, &n) != 0 || n < 0) return 0;
    return static_cast<unsigned>(n);
}

unsigned SerialDevice::bytesPending() const {
    int n = 0;
    if (!isOpen() || ::ioctl(fd_, TIOCOUTQ, &n) != 0 || n < 0) return 0;
    return static_cast<unsigned>(n);
}

bool SerialDevice::purge() {
    if (!isOpen()) return false;
    // Only what the driver still counts as unsent is dropped from the output. A
    // pseudo-terminal counts nothing there, yet flushing its output would take back bytes a
    // completed write already handed to the far end.
    int queues = bytesPending() > 0 ? TCIOFLUSH : TCIFLUSH;
    if (::ioctl(fd_, TCFLSH, queues) != 0) {
        fail(errno);
        if (tracing()) traceLine(path_, "purge failed: " + lastError().text);
        return false;
    }
    if (tracing()) traceLine(path_, queues == TCIOFLUSH ? "purge input and output" : "purge input");
    return true;
}

bool SerialDevice::setModemLine(ModemLine line, bool on) {
    if (!isOpen()) return false;
    int bits = line == ModemLine::Dtr ? TIOCM_DTR : TIOCM_RTS;
    const bool set = ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
    if (tracing())
        traceLine(path_, std::string(line == ModemLine::Dtr ? "DTR" : "RTS") +
                             (on ? " on" : " off") + (set ? "" : " (the line has none)"));
    return set;
}

std::optional<ModemStatus> SerialDevice::modemStatus() const {
    int bits = 0;
    if (!isOpen() || ::ioctl(fd_, TIOCMGET, &bits) != 0) return std::nullopt;
    ModemStatus s;
    s.cts = bits & TIOCM_CTS;
    s.dsr = bits & TIOCM_DSR;
    s.ring = bits & TIOCM_RNG;
    s.dcd = bits & TIOCM_CAR;
    return s;
}

std::string deviceHolder(const std::string& devicePath) {
    // The flock that keeps the port exclusive names its owner in /proc/locks.
    struct stat st {};
    if (::stat(devicePath.c_str(), &st) != 0) return {};
    char key[64];
    std::snprintf(key, sizeof key, "%02x:%02x:%lu", major(st.st_dev), minor(st.st_dev),
                  static_cast<unsigned long>(st.st_ino));
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream in(line);
        std::string id, kind, mode, access, pid, where;
        in >> id >> kind;
        if (kind == "->") in >> kind;  // a waiter, listed under the holder
        in >> mode >> access >> pid >> where;
        if (kind != "FLOCK" || where != key) continue;
        std::ifstream comm("/proc/" + pid + "/comm");
        std::string name;
        std::getline(comm, name);
        return (name.empty() ? std::string("process") : name) + " (pid " + pid + ")";
    }
    return {};
}

}  // namespace platform
