#include "tests/picture/picture_test_support.h"

#include "sim/jpeg_encoder.h"

using namespace std::chrono_literals;

namespace picturetest {

Bytes smallJpeg(int width, int height, int quality) {
    Bytes grey = sim::generateGreyPicture(width, height);
    return sim::encodeGreyJpeg(grey.data(), width, height, quality);
}

void ScannerFixture::SetUp() {
    ASSERT_TRUE(scanner.start(env.mapFile(), kCom, "Veltrix 2D Scanner (COM5)"));
    messages.onReport = [this](const platform::Report& r) {
        if (r.kind != platform::Report::Kind::Progress) return;
        std::lock_guard l(lock);
        progress.push_back(r.value);
    };
    engine = std::make_unique<CImageVideo>(kCom, messages.queue());
    attach(*engine);
}

void ScannerFixture::attach(CImageVideo& e) {
    e.SetImageCallback(
        [this](const pictavo::BitmapInfo* header, const std::uint8_t* data, std::size_t length) {
            ReceivedPicture p;
            if (header) p.header = *header;
            p.data.assign(data, data + length);
            std::lock_guard l(lock);
            pictures.push_back(std::move(p));
        });
}

bool ScannerFixture::startPicture(bool jpeg, bool snapshot) {
    if (!engine->FindDevice(true)) return false;
    engine->SetRequestFlags(0);
    engine->SetIdleInterval(0);
    engine->SetSnapshot(snapshot);
    return engine->StartCapture(jpeg) == 0;
}

CaptureOutcome ScannerFixture::waitForEnd() {
    EXPECT_TRUE(engine->WaitForCaptureEnd(30s));
    return engine->LastCaptureOutcome();
}

CaptureOutcome ScannerFixture::takePicture(bool jpeg) {
    if (!startPicture(jpeg, false)) return CaptureOutcome::None;
    return waitForEnd();
}

}  // namespace picturetest
