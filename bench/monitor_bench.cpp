// What the RS232 monitor's engine costs and how soon it hands a byte on, with a consumer that
// only takes the events (the window's drawing is terminal_bench's). Each job's time is also
// given as a ratio to its wire time at the line's rate (10 bits a byte); nothing is asserted.
//   quiet:    the process's CPU time (user + system, getrusage) as a share of one core while
//             the open line carries nothing for 10 s; goal under 1 %
//   stream:   the same while the device sends at 115200 baud (11,520 bytes a second) for 10 s;
//             goal under 15 %; every byte is checked; the ratio is the last byte's arrival
//   latency:  from a byte's arrival at the line to its chunk reaching the consumer, 95th
//             percentile, in the stream and for single bytes 50 ms apart; goal under 50 ms
//   cli:      the same quiet and streaming shares for `fenwald monitor --format hex` as a
//             child process (its CPU time read from /proc), its output going to /dev/null
//   text:     a text file of 4 s of wire time sent through the engine in its 100-byte pieces
//             to the paced echo device, at 115200 and at 9600 baud, until the device has every
//             byte (checked); the engine sees the transmission end earlier, as the
//             pseudo-terminal takes some 64 KB before the device has read them
//
// The simulated device runs in a child process, so its time is not counted; it notes when each
// piece goes onto the line in memory both processes share, on the same monotonic clock.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "installer/engine/monitor_engine.h"
#include "sim/echo_device.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kCom = 1;
constexpr unsigned kBaud = 115200;
constexpr std::size_t kPiece = 23;  // about 2 ms of the line, as the simulator paces
constexpr auto kPhase = 10s;
constexpr std::size_t kMaxPieces = 8192;
constexpr int kSporadicBytes = 100;

// Shared with the device process: when each piece (or single byte) went onto the line.
struct Shared {
    // Noted once the device's write has put the bytes on the line: before it, the write may
    // wait for the simulator's own lock, which is no delay of the engine's.
    std::atomic<std::int64_t> sentAt[kMaxPieces];
    // The text jobs: every byte the engine has sent so far, the length of the current job, and
    // when its last byte reached the device (-1: a wrong byte, 0: not all came).
    std::atomic<std::uint64_t> textTotal{0}, textLength{0};
    std::atomic<std::int64_t> receivedAt{0};
};

std::int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

std::uint8_t patternByte(std::size_t i) {
    return static_cast<std::uint8_t>((i * 131 + i / 251) & 0xFF);
}

double cpuSeconds() {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return sec(u.ru_utime) + sec(u.ru_stime);
}

// The device process: waits for a command byte, runs it, answers with one byte.
void deviceMain(const std::string& map, Shared* shared, int commands, int answers) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    sim::EchoDevice device;
    char ok = device.start(map, kCom, "Veltrix Echo (COM1)") ? 'r' : 'f';
    if (::write(answers, &ok, 1) != 1) ::_exit(1);
    char command = 0;
    while (::read(commands, &command, 1) == 1 && command != 'x') {
        if (command == 's') {
            device.line().setSilent(false);  // a text job before muted the echo
            device.line().setPacing(false);
            // The device's own pacing at 115200 baud, so each piece's time is noted as it goes.
            auto pieceTime = std::chrono::nanoseconds(std::int64_t(1e9 * 10 * kPiece / kBaud));
            std::size_t pieces = std::size_t(kPhase / pieceTime);
            auto start = Clock::now();
            std::uint8_t piece[kPiece];
            for (std::size_t i = 0; i < pieces && i < kMaxPieces; ++i) {
                std::this_thread::sleep_until(start + pieceTime * i);
                for (std::size_t k = 0; k < kPiece; ++k) piece[k] = patternByte(i * kPiece + k);
                device.line().send(piece, kPiece);
                shared->sentAt[i] = nowNs();
            }
        } else if (command == 't') {
            // The device reads at the wire's pace. Its echo is muted: the simulated echo reads
            // and sends in turn, so answering would halve the pace it reads at.
            device.line().setPacing(true);
            device.line().setSilent(true);
            std::size_t total = shared->textTotal, length = shared->textLength;
            std::int64_t at = 0;
            if (device.line().waitReceived(total, 120s)) {
                at = nowNs();
                auto got = device.line().received();
                for (std::size_t i = 0; i < length; ++i)
                    if (got[total - length + i] != patternByte(i)) at = -1;
            }
            shared->receivedAt = at;
        } else if (command == 'p') {
            for (int i = 0; i < kSporadicBytes; ++i) {
                std::this_thread::sleep_for(50ms);
                std::uint8_t b = patternByte(std::size_t(i));
                device.line().send(&b, 1);
                shared->sentAt[i] = nowNs();
            }
        }
        if (::write(answers, &command, 1) != 1) break;
    }
    device.stop();
    ::_exit(0);
}

// The CPU time (user + system) a child process has used so far, from /proc.
double childCpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), {});
    auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(::sysconf(_SC_CLK_TCK));
}

// `fenwald monitor` on the line, printing HEX into /dev/null, with a standard input that
// stays open; -1 when it did not start.
pid_t startCommandLineMonitor(int& input) {
    int in[2];
    if (::pipe(in) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(in[0], 0);
        ::dup2(null, 1);
        ::close(in[1]);
        ::execl(FENWALD_BINARY, FENWALD_BINARY, "monitor", "--port", "1", "--baud", "115200",
                "--format", "hex", nullptr);
        ::_exit(127);
    }
    ::close(in[0]);
    input = in[1];
    return pid;
}

struct Latencies {
    std::vector<double> ms;
    double at(double q) {
        if (ms.empty()) return 0;
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, std::size_t(q * double(ms.size())))];
    }
};

// Takes events until count bytes came; notes, for each piece of piece bytes, the delay from
// its going onto the line to the chunk holding its last byte. False on a wrong byte.
bool consume(fenwald::MonitorEngine& engine, Shared* shared, std::size_t count, std::size_t piece,
             Latencies& lat) {
    std::size_t got = 0;
    while (got < count) {
        auto e = engine.events().waitPop(3000ms);
        if (!e) {
            std::fprintf(stderr, "monitor_bench: only %zu of %zu bytes came\n", got, count);
            return false;
        }
        if (e->kind != fenwald::MonitorEvent::Kind::Received) continue;
        std::int64_t now = nowNs();
        for (std::size_t k = 0; k < e->bytes.size(); ++k) {
            std::size_t i = got + k;
            if (e->bytes[k] != patternByte(i)) {
                std::fprintf(stderr, "monitor_bench: byte %zu is wrong\n", i);
                return false;
            }
            if (i % piece == piece - 1) {
                auto& sentAt = shared->sentAt[i / piece];
                while (sentAt.load() == 0) std::this_thread::yield();  // the device's note
                lat.ms.push_back(double(now - sentAt.load()) / 1e6);
            }
        }
        got += e->bytes.size();
    }
    return true;
}

double wireSeconds(std::size_t bytes, unsigned baud) {
    return double(bytes) * 10 / baud;
}

double since(Clock::time_point t0) {
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

struct TextJob {
    double transmitted = 0;  // seconds to the end of the transmission
    double received = 0;     // seconds until the device had it all
};

// Sends a file of the given length at baud to the device; begin starts the device's wait for
// it, end waits for the device's answer that it has it all. False on a wrong byte, a
// transmission that did not end as transmitted, or a device that did not get it all.
bool textJob(fenwald::MonitorEngine& engine, Shared* shared, const std::function<bool()>& begin,
             const std::function<bool()>& end, const std::filesystem::path& dir, unsigned baud,
             std::size_t bytes, TextJob& job) {
    auto out = engine.applyLine(
        {kCom, baud, 8, platform::parity::None, platform::stopbits::One, serial::irda::None});
    if (!out.opened || !out.lineSet) {
        std::fprintf(stderr, "monitor_bench: the line at %u baud: %s\n", baud,
                     (out.opened ? out.lineError : out.openError).text.c_str());
        return false;
    }
    std::string content(bytes, '\0');
    for (std::size_t i = 0; i < bytes; ++i) content[i] = char(patternByte(i));
    std::string path = (dir / ("text-" + std::to_string(baud) + ".txt")).string();
    std::ofstream(path, std::ios::binary) << content;

    shared->textLength = bytes;
    shared->textTotal += bytes;
    shared->receivedAt = 0;
    if (!begin()) return false;
    std::int64_t t0 = nowNs();
    auto started = engine.startTextFile(path);
    if (!started) {
        std::fprintf(stderr, "monitor_bench: %s\n", started.message.c_str());
        return false;
    }
    for (;;) {
        auto e = engine.events().waitPop(30s);
        if (!e) {
            std::fprintf(stderr, "monitor_bench: the transmission at %u baud never ended\n", baud);
            return false;
        }
        if (e->kind != fenwald::MonitorEvent::Kind::TextEnded) continue;
        if (e->value != int(fenwald::TextEnd::Transmitted)) {
            std::fprintf(stderr, "monitor_bench: the transmission failed: %s\n", e->text.c_str());
            return false;
        }
        job.transmitted = double(nowNs() - t0) / 1e9;
        break;
    }
    if (!end()) return false;
    std::int64_t at = shared->receivedAt;
    if (at <= 0) {
        std::fprintf(stderr, "monitor_bench: the device %s at %u baud\n",
                     at < 0 ? "got a wrong byte" : "did not get every byte", baud);
        return false;
    }
    job.received = double(at - t0) / 1e9;
    return true;
}

const char* verdict(bool ok) {
    return ok ? "ok" : "MISSED";
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "monitor-bench-XXXXXX").string();
    fs::path dir = ::mkdtemp(tmpl.data());
    std::string map = (dir / "ports").string();
    std::ofstream(map).flush();
    ::setenv("VELTRIX_PORTS", map.c_str(), 1);

    void* memory =
        ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return 1;
    auto* shared = new (memory) Shared{};
    int toDevice[2], fromDevice[2];
    if (::pipe(toDevice) != 0 || ::pipe(fromDevice) != 0) return 1;
    pid_t child = ::fork();
    if (child < 0) return 1;
    if (child == 0) {
        ::close(toDevice[1]);
        ::close(fromDevice[0]);
        deviceMain(map, shared, toDevice[0], fromDevice[1]);
    }
    ::close(toDevice[0]);
    ::close(fromDevice[1]);

    auto tell = [&](char command) { return ::write(toDevice[1], &command, 1) == 1; };
    char ready = 0;
    int status = 1;
    if (::read(fromDevice[0], &ready, 1) == 1 && ready == 'r') {
        fenwald::MonitorEngine engine;
        auto out = engine.applyLine(
            {kCom, kBaud, 8, platform::parity::None, platform::stopbits::One, serial::irda::None});
        if (!out.opened) {
            std::fprintf(stderr, "monitor_bench: %s\n", out.openError.text.c_str());
        } else {
            double cpu0 = cpuSeconds();
            auto t0 = Clock::now();
            std::this_thread::sleep_for(kPhase);
            double quietWall = since(t0);
            double quiet = 100 * (cpuSeconds() - cpu0) / quietWall;

            auto pieceTime = std::chrono::nanoseconds(std::int64_t(1e9 * 10 * kPiece / kBaud));
            std::size_t bytes = std::min(std::size_t(kPhase / pieceTime), kMaxPieces) * kPiece;
            Latencies streamed, single;
            cpu0 = cpuSeconds();
            t0 = Clock::now();
            bool ok = tell('s') && consume(engine, shared, bytes, kPiece, streamed);
            double wall = since(t0);
            double streaming = 100 * (cpuSeconds() - cpu0) / wall;
            auto answered = [&] {
                char answer = 0;
                return ::read(fromDevice[0], &answer, 1) == 1;
            };
            ok = ok && answered();
            for (int i = 0; i < kSporadicBytes; ++i) shared->sentAt[i] = 0;
            ok = ok && tell('p') && consume(engine, shared, kSporadicBytes, 1, single);
            ok = ok && answered();

            struct Rate {
                unsigned baud;
                TextJob job;
            };
            Rate rates[] = {{115200, {}}, {9600, {}}};
            auto begin = [&] { return tell('t'); };
            for (auto& r : rates)
                ok = ok &&
                     textJob(engine, shared, begin, answered, dir, r.baud, r.baud / 10 * 4, r.job);

            if (ok) {
                double wire = wireSeconds(bytes, kBaud);
                double p95s = streamed.at(0.95), p95 = single.at(0.95);
                std::printf(
                    "quiet     %6.2f s                                     cpu %6.2f %% "
                    "of a core  goal < 1 %%   %s\n",
                    quietWall, quiet, verdict(quiet < 1));
                std::printf(
                    "stream    %6.2f s  wire %6.2f s  ratio %.4f  %6zu B  cpu %6.2f %% "
                    "of a core  goal < 15 %%  %s\n",
                    wall, wire, wall / wire, bytes, streaming, verdict(streaming < 15));
                std::printf(
                    "latency   stream  p50 %6.2f ms  p95 %6.2f ms  max %6.2f ms  goal p95 "
                    "< 50 ms  %s\n",
                    streamed.at(0.5), p95s, streamed.at(1.0), verdict(p95s < 50));
                std::printf(
                    "latency   single  p50 %6.2f ms  p95 %6.2f ms  max %6.2f ms  goal p95 "
                    "< 50 ms  %s\n",
                    single.at(0.5), p95, single.at(1.0), verdict(p95 < 50));
                for (auto& r : rates) {
                    std::size_t n = r.baud / 10 * 4;
                    double w = wireSeconds(n, r.baud);
                    std::printf(
                        "text %6u %6.2f s  wire %6.2f s  ratio %.4f  %6zu B  (transmitted "
                        "after %.2f s)\n",
                        r.baud, r.job.received, w, r.job.received / w, n, r.job.transmitted);
                }
                status = 0;
            }

            // The same line through `fenwald monitor`, with the engine's line closed.
            engine.closeLine();
            int input = -1;
            pid_t cli = startCommandLineMonitor(input);
            if (ok && cli > 0) {
                std::this_thread::sleep_for(1s);  // it opens and sets the line
                double c0 = childCpuSeconds(cli);
                auto q0 = Clock::now();
                std::this_thread::sleep_for(kPhase);
                double quietShare = 100 * (childCpuSeconds(cli) - c0) / since(q0);
                c0 = childCpuSeconds(cli);
                q0 = Clock::now();
                bool streamed = tell('s') && answered();
                double streamShare = 100 * (childCpuSeconds(cli) - c0) / since(q0);
                ::kill(cli, SIGINT);
                int cliStatus = 0;
                ::waitpid(cli, &cliStatus, 0);
                ::close(input);
                if (streamed)
                    std::printf(
                        "cli       quiet cpu %6.2f %% of a core  goal < 1 %%   %s   stream "
                        "(hex) cpu %6.2f %% of a core  goal < 15 %%  %s\n",
                        quietShare, verdict(quietShare < 1), streamShare,
                        verdict(streamShare < 15));
            }
        }
    }
    tell('x');
    ::waitpid(child, nullptr, 0);
    fs::remove_all(dir);
    return status;
}
