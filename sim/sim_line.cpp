#include "sim/sim_line.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/precise_time.h"

namespace sim {

using Clock = std::chrono::steady_clock;

namespace {

// How late after the last received byte this thread may start a reply that is still taken as
// following it at once.
constexpr auto kReplyWindow = std::chrono::milliseconds(1);

void makeRaw(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return;
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CREAD | CLOCAL;
    ::ioctl(fd, TCSETS2, &t);
}

// A new pseudo-terminal, both ends open and non-blocking, the slave end raw: false when the
// system has none to give.
bool openPty(int& master, int& slave, std::string& slavePath) {
    int m = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m < 0) return false;
    char name[128];
    int s = ::grantpt(m) == 0 && ::unlockpt(m) == 0 && ::ptsname_r(m, name, sizeof name) == 0
                ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)
                : -1;
    if (s < 0) {
        ::close(m);
        return false;
    }
    makeRaw(s);
    master = m;
    slave = s;
    slavePath = name;
    return true;
}

// The least time a byte written into a pseudo-terminal takes to wake a thread waiting at its
// other end, measured once on a pair of its own. A wire and a device's UART have no such delay,
// so received bytes are taken as having set off that much before the device saw them; the
// least, so a command is never taken as sent before the program wrote it.
Clock::duration ptyDelivery() {
    static const Clock::duration delivery = [] {
        int m, s;
        std::string name;
        if (!openPty(m, s, name)) return Clock::duration::zero();
        constexpr int kRounds = 16;
        std::atomic<Clock::rep> sent{0};
        Clock::duration best = Clock::duration::max();
        std::thread receiver([&] {
            platform::useFineTimerSlack();
            for (int round = 0; round < kRounds; ++round) {
                pollfd pfd{m, POLLIN, 0};
                if (::poll(&pfd, 1, 100) != 1) break;
                auto woke = Clock::now();
                char c;
                if (::read(m, &c, 1) == 1)
                    best = std::min(best, woke - Clock::time_point(Clock::duration(sent.load())));
            }
        });
        std::thread writer([&] {
            platform::useFineTimerSlack();
            for (int round = 0; round < kRounds; ++round) {
                // Long enough for the receiver to wait in poll again.
                platform::sleepUntil(Clock::now() + std::chrono::microseconds(300));
                sent = Clock::now().time_since_epoch().count();
                if (::write(s, "x", 1) != 1) break;
            }
        });
        writer.join();
        receiver.join();
        ::close(s);
        ::close(m);
        return best == Clock::duration::max() ? Clock::duration::zero() : best;
    }();
    return delivery;
}

// A timed sleep wakes late by the system's timer latency, tens of microseconds even with a fine
// timer slack, which on short exchanges is a percent of the wire time. Aiming early by the
// lateness seen so far keeps the pace right on average without spinning. The aim, or min()
// when t has passed.
Clock::time_point sleepEarly(Clock::time_point t, const std::atomic<long long>& lateness) {
    auto aim = t - std::chrono::nanoseconds(lateness.load());
    if (aim <= Clock::now()) return Clock::time_point::min();
    platform::sleepUntil(aim);
    return aim;
}

void learnLateness(Clock::time_point aim, std::atomic<long long>& lateness) {
    if (aim == Clock::time_point::min()) return;
    auto late = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - aim);
    late = std::min<std::chrono::nanoseconds>(late, std::chrono::microseconds(500));
    lateness = (lateness.load() * 7 + late.count()) / 8;
}

}  // namespace

void SimLine::setPacing(bool on) {
    if (on) ptyDelivery();  // measured before any line needs it
    pacing_ = on;
}

SimLine::~SimLine() {
    close();
}

bool SimLine::open() {
    if (isOpen()) return true;
    int m, s;
    std::string name;
    if (!openPty(m, s, name)) return false;
    std::lock_guard l(fdLock_);
    slave_ = s;
    slavePath_ = name;
    rxClock_ = txClock_ = Clock::now();
    master_ = m;
    return true;
}

void SimLine::close() {
    int m = master_.exchange(-1);
    std::lock_guard l(fdLock_);
    if (m >= 0) ::close(m);
    if (slave_ >= 0) ::close(slave_);
    slave_ = -1;
}

std::optional<platform::LineSettings> SimLine::programSettings() const {
    int m = master_;
    return m >= 0 ? platform::readLineSettings(m) : std::nullopt;
}

std::optional<platform::FlowControl> SimLine::programFlowControl() const {
    int m = master_;
    return m >= 0 ? platform::readFlowControl(m) : std::nullopt;
}

bool SimLine::setProgramFlowControl(const platform::FlowControl& flow) {
    std::lock_guard l(fdLock_);
    return slave_ >= 0 && platform::writeFlowControl(slave_, flow);
}

double SimLine::characterTime() const {
    auto s = programSettings();
    return s ? platform::characterTime(*s) : 0.0;
}

std::size_t SimLine::read(void* buffer, std::size_t max, milliseconds wait) {
    auto deadline = Clock::now() + wait;
    std::size_t got = 0;
    while (got == 0) {
        bool nap = false;
        {
            std::lock_guard l(fdLock_);
            int m = master_;
            if (m < 0) return 0;
            ssize_t r = ::read(m, buffer, max);
            if (r > 0) {
                got = static_cast<std::size_t>(r);
                break;
            }
            if (r < 0 && (errno == EAGAIN || errno == EINTR)) {
                auto left =
                    std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
                pollfd pfd{m, POLLIN, 0};
                // Short slices, so close() never waits long for the lock.
                if (left > 0) ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, 10)));
            } else {
                nap = true;  // no program end open: nothing can arrive yet
            }
        }
        if (Clock::now() >= deadline) return 0;
        if (nap) std::this_thread::sleep_for(milliseconds(2));
    }
    if (pacing_) {
        // The bytes set off when the program wrote them, about the pty's delivery before now;
        // on the wire the last of them arrives their own time after that.
        auto now = Clock::now();
        auto busy = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(characterTime() * double(got)));
        rxClock_ = std::max(rxClock_, now - ptyDelivery()) + busy;
        learnLateness(sleepEarly(rxClock_, rxLateness_), rxLateness_);
    }
    {
        std::lock_guard l(logLock_);
        auto* p = static_cast<std::uint8_t*>(buffer);
        received_.insert(received_.end(), p, p + got);
    }
    logChanged_.notify_all();
    return got;
}

bool SimLine::readExact(void* buffer, std::size_t count, milliseconds wait) {
    auto deadline = Clock::now() + wait;
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::size_t got = 0;
    while (got < count) {
        auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        std::size_t n = read(p + got, count - got, left);
        if (n == 0 && !isOpen()) return false;
        got += n;
    }
    return true;
}

std::optional<std::uint8_t> SimLine::readByte(milliseconds wait) {
    std::uint8_t b;
    if (read(&b, 1, wait) == 1) return b;
    return std::nullopt;
}

bool SimLine::send(const void* data, std::size_t count) {
    if (!isOpen()) return false;
    if (silent_) return true;
    return sendChunks(static_cast<const std::uint8_t*>(data), count);
}

bool SimLine::sendRaw(const void* data, std::size_t count) {
    return sendChunks(static_cast<const std::uint8_t*>(data), count);
}

bool SimLine::sendChunks(const std::uint8_t* data, std::size_t count) {
    double charTime = pacing_ ? characterTime() : 0.0;
    // About two milliseconds of wire time a chunk keeps the pace even without a busy loop.
    std::size_t chunk =
        charTime > 0 ? std::max<std::size_t>(1, std::size_t(0.002 / charTime)) : count;
    if (charTime > 0) {
        // A reply that follows the bytes just received starts on the wire when they ended, not
        // when this thread woke after them: a device's UART has no scheduler to wait for.
        auto now = Clock::now();
        bool answering = now >= rxClock_ && now - rxClock_ < kReplyWindow;
        txClock_ = std::max(txClock_, answering ? rxClock_ : now);
    }
    std::size_t done = 0;
    Clock::time_point aim;
    while (done < count) {
        std::size_t n = std::min(chunk, count - done);
        if (charTime > 0) {
            txClock_ += std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(charTime * double(n)));
            aim = sleepEarly(txClock_, done == 0 ? txFirstLateness_ : txLateness_);
        }
        std::size_t written = 0;
        while (written < n) {
            std::lock_guard l(fdLock_);
            int m = master_;
            if (m < 0) return false;
            ssize_t w = ::write(m, data + done + written, n - written);
            if (w > 0) {
                written += static_cast<std::size_t>(w);
            } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                return false;
            } else {
                pollfd pfd{m, POLLOUT, 0};
                ::poll(&pfd, 1, 5);
            }
        }
        // The bytes are on their way once the write is done, so its own time counts as late.
        if (charTime > 0) learnLateness(aim, done == 0 ? txFirstLateness_ : txLateness_);
        done += n;
    }
    return true;
}

Bytes SimLine::received() const {
    std::lock_guard l(logLock_);
    return received_;
}

void SimLine::clearReceived() {
    std::lock_guard l(logLock_);
    received_.clear();
}

bool SimLine::waitReceived(std::size_t count, milliseconds wait) const {
    std::unique_lock l(logLock_);
    return logChanged_.wait_for(l, wait, [&] { return received_.size() >= count; });
}

}  // namespace sim
