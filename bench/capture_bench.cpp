// Takes a 100 KiB JPEG picture from the simulated scanner, which paces its line at 115200 baud
// 8N1 as a real one does, and reports the time as a ratio to the protocol's minimum.
//
// The interval measured is what the user waits for: from "Take Picture" (FindDevice) until
// the picture is handed to the image callback (the viewer opens). The minimum is the critical
// path the protocol leaves no way around: the engine's fixed waits and the wire time of every
// byte on the path, both ways. Where a fixed wait and the wire run at the same time (the
// scanner sends the next block while the engine waits 100 ms before reading it) only the
// longer counts, as it does on a real line.
//
// usage: capture_bench [--runs N] [--size BYTES]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "picture/engine/capture_protocol.h"
#include "picture/engine/image_video.h"
#include "platform/deadline.h"
#include "platform/serial_device.h"
#include "sim/jpeg_encoder.h"
#include "sim/scanner_device.h"

using namespace std::chrono;

namespace {

constexpr int kCom = 4;

struct Minimum {
    double path = 0;    // seconds: the critical path
    double pauses = 0;  // the fixed waits alone
    double wire = 0;    // every byte both ways, one after the other
};

// What one picture costs at least, given the request, the header and the data block sizes.
Minimum protocolMinimum(std::size_t requestBytes, std::size_t headerPayload,
                        const std::vector<std::size_t>& blocks) {
    const double c =
        platform::characterTime({115200, 8, platform::parity::None, platform::stopbits::One});
    const double ms = 1e-3;
    const double frame = double(pictavo::kBlockOverhead);
    Minimum m;
    // FindDevice: ETB, 10 ms, ETB, 10 ms. The capture thread's idle ETB, CR, 10 ms, the
    // request, 100 ms (the header arrives meanwhile), 200 ms, the header's ACK.
    m.path = 2 * c + 20 * ms + c + c + 10 * ms + double(requestBytes) * c + 100 * ms + 200 * ms + c;
    m.pauses = 20 * ms + 10 * ms + 100 * ms + 200 * ms;
    m.wire = (2 + 1 + 1 + double(requestBytes)) * c + (double(headerPayload) + frame) * c + c;
    // Each data block: the engine's 100 ms pause runs while the block comes after the last
    // ACK; then its own ACK.
    for (std::size_t n : blocks) {
        double blockWire = (double(n) + frame) * c;
        m.path += std::max(100 * ms, blockWire) + c;
        m.pauses += 100 * ms;
        m.wire += blockWire + c;
    }
    // 2 ms, ESC "Z1" CR, the first byte of the answer, then the reset: ETB, 10 ms,
    // ESC "Z1" CR, 10 ms.
    m.path += 2 * ms + 4 * c + c + c + 10 * ms + 4 * c + 10 * ms;
    m.pauses += 2 * ms + 20 * ms;
    m.wire += (4 + 1 + 1 + 4) * c;
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 2;
    std::size_t size = 100 * 1024;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--size") == 0)
            size = std::strtoul(argv[i + 1], nullptr, 10);
    }

    // A scratch port map, settings and temporary folder of our own.
    std::string scratch =
        (std::filesystem::temp_directory_path() / "capture-bench-XXXXXX").string();
    if (!::mkdtemp(scratch.data())) return 1;
    std::string ports = scratch + "/ports";
    std::FILE* f = std::fopen(ports.c_str(), "w");
    if (f) std::fclose(f);
    ::setenv("VELTRIX_PORTS", ports.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", scratch.c_str(), 1);
    ::setenv("TMPDIR", scratch.c_str(), 1);

    auto grey = sim::generateGreyPicture(1280, 1024);
    auto jpeg = sim::padJpeg(sim::encodeGreyJpeg(grey.data(), 1280, 1024, 65), size);
    sim::ScannerDevice scanner;
    scanner.setPicture(jpeg);
    scanner.line().setPacing(true);
    if (!scanner.start(ports, kCom, "Veltrix 2D Scanner (COM4)")) {
        std::fprintf(stderr, "capture_bench: cannot start the simulated scanner\n");
        return 1;
    }

    std::vector<std::size_t> blocks;
    for (std::size_t at = 0; at < jpeg.size(); at += sim::ScannerDevice::kBlockLimit)
        blocks.push_back(std::min(sim::ScannerDevice::kBlockLimit, jpeg.size() - at));
    pictavo::PictureRequest request;
    request.snapshot = false;
    Minimum minimum = protocolMinimum(pictavo::formatPictureRequest(request).size(), 128, blocks);

    std::printf("capture_bench: a %zu-byte JPEG in %zu data blocks at 115200 baud 8N1\n",
                jpeg.size(), blocks.size());
    std::printf(
        "  interval: FindDevice (\"Take Picture\") until the image callback gets the picture\n");
    std::printf("  protocol minimum (critical path): %.3f s\n", minimum.path);
    std::printf(
        "  (all fixed waits %.3f s + all wire time %.3f s, taken one after the other: %.3f s)\n",
        minimum.pauses, minimum.wire, minimum.pauses + minimum.wire);

    int failures = 0;
    for (int run = 1; run <= runs; ++run) {
        CImageVideo engine(kCom);
        std::atomic<std::int64_t> delivered{0};
        std::size_t received = 0;
        engine.SetImageCallback(
            [&](const pictavo::BitmapInfo*, const std::uint8_t*, std::size_t n) {
                delivered = steady_clock::now().time_since_epoch().count();
                received = n;
            });
        auto start = steady_clock::now();
        if (!engine.FindDevice(true)) return 1;
        engine.SetRequestFlags(0);
        engine.SetIdleInterval(0);
        engine.SetSnapshot(false);
        if (engine.StartCapture(true) != 0) return 1;
        engine.WaitForCaptureEnd(milliseconds(-1));
        auto ended = steady_clock::now();
        if (engine.LastCaptureOutcome() != CaptureOutcome::Delivered || received != jpeg.size()) {
            std::printf("  run %d: the picture did not arrive (%s)\n", run,
                        captureOutcomeText(engine.LastCaptureOutcome()));
            ++failures;
            continue;
        }
        double seconds =
            duration<double>(steady_clock::time_point(steady_clock::duration(delivered.load())) -
                             start)
                .count();
        double toEnd = duration<double>(ended - start).count();
        std::printf(
            "  run %d: picture after %.3f s, ratio %.4f (capture thread ended after %.3f s)\n", run,
            seconds, seconds / minimum.path, toEnd);
    }
    scanner.stop();
    std::filesystem::remove_all(scratch);
    return failures ? 1 : 0;
}
