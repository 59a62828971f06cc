// What the picture tool's tests share: a recorder for the message boxes, and a simulated
// scanner on COM5 with an engine that takes pictures the way the window does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "picture/engine/image_video.h"
#include "picture/engine/messages.h"
#include "platform/port_map.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

namespace picturetest {

using Bytes = std::vector<std::uint8_t>;

// Catches every message box for the object's life: those of the helpers' seam, and the
// message reports of every engine made with queue() as its report queue, as the window shows
// them. The engines' other reports go to onReport.
class MessageRecorder {
public:
    MessageRecorder() {
        previous_ = pictavo::setMessageHandler([this](const pictavo::Message& m) {
            std::lock_guard l(lock_);
            messages_.push_back(m);
        });
    }
    ~MessageRecorder() { pictavo::setMessageHandler(std::move(previous_)); }
    platform::ReportQueue* queue() { return &reports_; }
    std::function<void(const platform::Report&)> onReport;
    // Takes what the engines have reported so far.
    void take() const {
        while (auto r = reports_.tryPop()) {
            if (r->kind == platform::Report::Kind::Message) {
                std::lock_guard l(lock_);
                messages_.push_back(pictavo::messageOf(*r));
            } else if (onReport) {
                onReport(*r);
            }
        }
    }
    std::vector<pictavo::Message> all() const {
        take();
        std::lock_guard l(lock_);
        return messages_;
    }
    std::vector<std::string> texts() const {
        std::vector<std::string> t;
        for (const auto& m : all()) t.push_back(m.text);
        return t;
    }
    void clear() {
        take();
        std::lock_guard l(lock_);
        messages_.clear();
    }

private:
    pictavo::MessageHandler previous_;
    mutable std::mutex lock_;
    mutable std::vector<pictavo::Message> messages_;
    mutable platform::ReportQueue reports_;
};

inline Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

// The second line of "No ports found." and "Port not found.".
inline std::string lookedFor(int com) {
    return "COM" + std::to_string(com) + " was looked for in " + platform::portSourceDescription() +
           ".";
}

inline std::size_t countByte(const Bytes& b, std::uint8_t v) {
    return static_cast<std::size_t>(std::count(b.begin(), b.end(), v));
}

// A small real JPEG picture.
Bytes smallJpeg(int width = 48, int height = 32, int quality = 65);

struct ReceivedPicture {
    std::optional<pictavo::BitmapInfo> header;  // set for an uncompressed picture
    Bytes data;
};

struct ScannerFixture : ::testing::Test {
    static constexpr int kCom = 5;
    testenv::IsolatedPorts env;
    sim::ScannerDevice scanner;
    MessageRecorder messages;

    mutable std::mutex lock;
    std::vector<ReceivedPicture> pictures;
    std::vector<int> progress;
    std::unique_ptr<CImageVideo> engine;  // last: gone before what its callbacks use

    void SetUp() override;
    void TearDown() override { engine.reset(); }
    // Installs the callback that records pictures.
    void attach(CImageVideo& e);
    // FindDevice, the window's settings and StartCapture; true when the capture started.
    bool startPicture(bool jpeg = true, bool snapshot = false);
    // A whole picture without snapshot mode; the outcome.
    CaptureOutcome takePicture(bool jpeg = true);
    CaptureOutcome waitForEnd();
    std::vector<ReceivedPicture> received() const {
        std::lock_guard l(lock);
        return pictures;
    }
    std::vector<int> progressSeen() const {
        messages.take();
        std::lock_guard l(lock);
        return progress;
    }
    void forget() {
        messages.take();
        std::lock_guard l(lock);
        pictures.clear();
        progress.clear();
        messages.clear();
        scanner.line().clearReceived();
    }
};

}  // namespace picturetest
