// Any text as a picture request reaching the simulated scanner, and the header block it answers
// with as the picture tool reads it. Beyond the sanitizers' checks: a request that parses,
// written out again by the picture tool, parses to the same numbers, and the header made for it
// reads back to its window, divisor and block count whenever they fit the header's columns.
#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/engine/capture_protocol.h"
#include "sim/scanner_device.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

bool sameNumbers(const sim::SeenRequest& a, const sim::SeenRequest& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1 &&
           a.requestFlags == b.requestFlags && a.quality == b.quality && a.snapshot == b.snapshot &&
           a.jpeg == b.jpeg;
}

// The header's numbers are six columns wide.
bool fitsColumn(long long v) {
    return v >= -99999 && v <= 999999;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    auto request = sim::parsePictureRequest(text);
    if (!request) return 0;
    check(request->text == text);

    pictavo::PictureRequest asked{{request->x0, request->y0, request->x1, request->y1},
                                  request->requestFlags,
                                  request->quality,
                                  request->snapshot,
                                  request->jpeg};
    const std::string again = pictavo::formatPictureRequest(asked);
    auto reread = sim::parsePictureRequest(again);
    check(reread && sameNumbers(*reread, *request));

    const int divisor = request->quality & 0xFF;
    const int blocks = 1 + (request->requestFlags & 0xFFFF);
    const std::size_t pictureBytes = size * 100;
    auto header = sim::formatScannerHeader(*request, divisor, blocks, pictureBytes);
    auto parsed = pictavo::parsePictureHeader(header.data(), header.size());
    const sim::SeenRequest& r = *request;
    if (!fitsColumn(r.x0) || !fitsColumn(r.y0) || !fitsColumn(r.x1) || !fitsColumn(r.y1)) return 0;
    if (r.x1 < r.x0 || r.y1 < r.y0) {
        check(!parsed);
        return 0;
    }
    check(parsed && parsed->x0 == r.x0 && parsed->y0 == r.y0 && parsed->x1 == r.x1 &&
          parsed->y1 == r.y1 && parsed->divisor == divisor && parsed->blocks == blocks);
    return 0;
}
