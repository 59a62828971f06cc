// Download tool benchmarks against the simulated Z7 device pacing its line at the real baud
// rates. Each job's time is reported as a ratio to the protocol's own minimum: its mandated
// pauses plus the wire time of every byte both ends sent (the exchanges are lock-step, so
// nothing overlaps).
//
//   download_bench [block|bootstrap|bootstrap=BYTES]...   (default: block and bootstrap)
//   block:     a 1 MiB image in 8192-byte blocks at 115200 baud, after the mode-switch commands
//   bootstrap: a 64 KiB sector through the monitor at 57600 baud (about 11 minutes)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "download/engine/config_commands.h"
#include "download/engine/download_thread.h"
#include "sim/z7_device.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "kolvane-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        std::ofstream(dir / "ports").flush();
        ::setenv("VELTRIX_PORTS", (dir / "ports").c_str(), 1);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string image(const std::string& name, std::size_t size) const {
        std::mt19937 gen(11);
        std::string bytes(size, '\0');
        for (auto& b : bytes) b = static_cast<char>(gen());
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
};

// Posts a command and waits for its completion; the log lines are kept.
int run(kolvane::CDownloadThread& w, int command, std::int64_t arg, const std::string& text,
        std::vector<std::string>& log) {
    if (text.empty())
        w.PostThreadCommand(command, arg);
    else
        w.PostThreadCommand(command, text);
    for (;;) {
        auto r = w.Reports().waitPop(-1ms);
        if (r->kind == platform::Report::Kind::Log) log.push_back(r->text);
        if (r->kind == platform::Report::Kind::Completed) return r->value;
    }
}

double wire(std::size_t chars, unsigned baud) {
    return chars * 10.0 / baud;
}

void report(const char* job, double seconds, double minimum, const char* detail) {
    std::printf("%-10s %8.2f s  minimum %8.2f s  ratio %.4f  (%s)\n", job, seconds, minimum,
                seconds / minimum, detail);
    std::fflush(stdout);
}

bool blockBench() {
    Scratch scratch;
    sim::Z7Device device;
    device.line().setPacing(true);
    if (!device.start((scratch.dir / "ports").string(), 1, "Z7 (COM1)")) return false;
    std::string path = scratch.image("app.bin", 1024 * 1024);
    kolvane::CDownloadThread worker;
    if (!worker.Create()) return false;
    std::vector<std::string> log;
    if (run(worker, kolvane::CDownloadThread::kOpenLine, 0, {}, log) != 1) return false;
    auto t0 = Clock::now();
    int result = run(worker, kolvane::CDownloadThread::kDownload, 0, path, log);
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    worker.Shutdown();
    if (result != 1) {
        std::fprintf(stderr, "block download failed: %s\n", log.empty() ? "" : log.back().c_str());
        return false;
    }
    const std::size_t frame = 8192 + 26, frames = 128, sectors = 16;
    const std::size_t programBytes =
        device.line().received().size();  // 4 x 8 + frames + stop frame
    const std::size_t deviceBytes = 2 * frames + 2 + 4 * sectors + 2;
    double pauses = 0.3 + 3 * 0.5 + 1.0 + frames * 0.020 + 1.0;
    double minimum =
        pauses + wire(32, 9600) + wire(programBytes - 32, 115200) + wire(deviceBytes, 115200);
    if (programBytes != 32 + (frames + 1) * frame)
        std::fprintf(stderr, "unexpected byte count %zu\n", programBytes);
    report("block", seconds, minimum, "1 MiB, 8192-byte blocks, 115200 baud");
    return true;
}

bool bootstrapBench(std::size_t size) {
    Scratch scratch;
    sim::Z7Device::Options o;
    o.mode = sim::Z7Device::Mode::Bootstrap;
    sim::Z7Device device(o);
    device.line().setPacing(true);
    if (!device.start((scratch.dir / "ports").string(), 1, "Z7 (COM1)")) return false;
    std::string path = scratch.image("app.bin", size);
    kolvane::CDownloadThread worker;
    if (!worker.Create()) return false;
    std::vector<std::string> log;
    if (run(worker, kolvane::CDownloadThread::kOpenLine, 0, {}, log) != 1) return false;
    if (run(worker, kolvane::CDownloadThread::kSetBlockSize, 2, {}, log) != 1) return false;
    auto t0 = Clock::now();
    int result = run(worker, kolvane::CDownloadThread::kDownload, 0, path, log);
    double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    worker.Shutdown();
    if (result != 1) {
        std::fprintf(stderr, "bootstrap download failed\n");
        for (std::size_t i = log.size() > 5 ? log.size() - 5 : 0; i < log.size(); ++i)
            std::fprintf(stderr, "  %s\n", log[i].c_str());
        return false;
    }
    // What the device sent follows from what it received: ':' for each prompt request, the
    // echo of each command, '/' after writes, four digits and '/' after reads.
    auto received = device.line().received();
    std::string text(received.begin(), received.end());
    std::size_t p = 0;
    while (p < text.size() && text[p] == 'A') ++p;
    std::size_t deviceBytes = 1;  // the prompt
    while (p + 10 <= text.size()) {
        std::string op = text.substr(p + 8, 2);
        std::size_t len = op == "42" ? 14 : op == "C4" ? 18 : 10;
        deviceBytes += len + (op == "62" ? 5 : 1);
        p += len;
    }
    double pauses = 1.0 + 0.5;
    double minimum = pauses + wire(received.size() + deviceBytes, 57600);
    std::string detail = std::to_string(size / 1024) + " KiB, 57600 baud";
    report("bootstrap", seconds, minimum, detail.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> jobs(argv + 1, argv + argc);
    if (jobs.empty()) jobs = {"block", "bootstrap"};
    bool ok = true;
    for (const auto& j : jobs) {
        if (j == "block")
            ok &= blockBench();
        else if (j == "bootstrap")
            ok &= bootstrapBench(64 * 1024);
        else if (j.rfind("bootstrap=", 0) == 0)
            ok &= bootstrapBench(std::strtoul(j.c_str() + 10, nullptr, 10));
        else {
            std::fprintf(stderr, "usage: download_bench [block|bootstrap|bootstrap=BYTES]...\n");
            return 2;
        }
    }
    return ok ? 0 : 1;
}
