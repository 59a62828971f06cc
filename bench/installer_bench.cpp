// Firmware installer benchmark: a 256 KiB binary installed through the loader component into
// the simulated scanner, its line paced at 115200 baud. The time from Download to the final
// status is reported as a ratio to the protocol's own minimum: the probe's 150 ms wait at
// each rate it tries, plus the wire time of every byte both ends send (the probe, ESC FW CR
// and its ACK, and the YMODEM-1K stream with its answers; the exchanges are lock-step, so
// nothing overlaps). The YMODEM part alone is reported too.
//
//   installer_bench [KIB]   (default 256)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "installer/engine/gantry1.h"
#include "installer/engine/loader_interface.h"
#include "installer/engine/scanner_probe.h"
#include "platform/component_host.h"
#include "sim/scanner_device.h"

using Clock = std::chrono::steady_clock;

namespace {

constexpr unsigned kRate = 115200;

struct Scratch {
    std::filesystem::path dir;
    Scratch() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "fenwald-bench-XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        std::ofstream(dir / "ports").flush();
        ::setenv("VELTRIX_PORTS", (dir / "ports").c_str(), 1);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string image(const std::string& name, std::size_t size) const {
        std::mt19937 gen(17);
        std::string bytes(size, '\0');
        for (auto& b : bytes) b = static_cast<char>(gen());
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
};

double wire(double chars, unsigned baud) {
    return chars * 10.0 / baud;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t kib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    if (kib == 0) {
        std::fprintf(stderr, "usage: installer_bench [KIB]\n");
        return 2;
    }
    Scratch scratch;
    sim::ScannerDevice scanner;
    scanner.setOwnRates({kRate});
    scanner.line().setPacing(true);
    if (!scanner.start((scratch.dir / "ports").string(), 3, "Veltrix Scanner (COM3)")) return 1;
    const std::string path = scratch.image("app.bin", kib * 1024);

    CGantry1 loader{platform::ComponentRegistry(FENWALD_COMPONENT_REGISTRY)};
    if (!loader.created()) {
        std::fprintf(stderr, "%s\n", loader.creationError().c_str());
        return 1;
    }
    loader.SetPort(3);
    loader.SetIrdaType(0);
    loader.SetFileName(path);
    auto t0 = Clock::now();
    Clock::time_point sending{};
    loader.Download();
    fenwald::GantryStatus last;
    for (;;) {
        auto e = loader.events().waitPop(std::chrono::milliseconds(50));
        auto st = e ? fenwald::decodeGantryStatus(*e) : std::nullopt;
        if (!st) continue;
        if (std::getenv("BENCH_DEBUG"))
            std::fprintf(stderr, "%d %s\n", st->code, st->message.c_str());
        if (st->code == fenwald::gantry::status::kSending) sending = Clock::now();
        if (fenwald::gantry::endsOperation(st->code)) {
            last = *st;
            break;
        }
    }
    auto t1 = Clock::now();
    if (last.code != fenwald::gantry::status::kInstalled) {
        std::fprintf(stderr, "the download failed: %s\n", last.message.c_str());
        return 1;
    }

    // The probe: four bytes at each rate and 150 ms, all nine rates (one answer is not two).
    double probe = 0;
    for (unsigned rate : fenwald::kScannerRates)
        probe += std::chrono::duration<double>(fenwald::kScannerAnswerWait).count() + wire(4, rate);
    probe += wire(1, kRate);              // the ACK
    double request = wire(4 + 1, kRate);  // ESC FW CR, ACK
    const double blocks = (kib * 1024 + 1023) / 1024;
    // Block 0, the data blocks, EOT twice, the empty block 0; 'C', the ACKs and the NAK.
    double senderBytes = 133 + blocks * 1029 + 2 + 133;
    double receiverBytes = 1 + 1 + 1 + blocks + 1 + 1 + 1 + 1;
    double ymodem = wire(senderBytes + receiverBytes, kRate);
    double total = std::chrono::duration<double>(t1 - t0).count();
    double transfer = std::chrono::duration<double>(t1 - sending).count();
    double minimum = probe + request + ymodem;
    std::printf(
        "install %8.2f s  minimum %8.2f s  ratio %.4f  (%zu KiB binary, %u baud, "
        "probe of 9 rates included)\n",
        total, minimum, total / minimum, kib, kRate);
    std::printf(
        "ymodem  %8.2f s  minimum %8.2f s  ratio %.4f  (the scanner's ACK to the final "
        "status)\n",
        transfer, ymodem, transfer / ymodem);
    return 0;
}
