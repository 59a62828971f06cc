#include "picture/engine/setting_checks.h"

#include <array>
#include <climits>
#include <cstdint>

namespace pictavo {

namespace {

constexpr std::size_t kDialogNumberLimit = 10;
constexpr int kWindowWidthLimit = 1280, kWindowHeightLimit = 1024;
constexpr std::size_t kCameraValueCount = 5;

// The positions of the five value characters, or nothing.
std::optional<std::array<std::size_t, kCameraValueCount>> cameraValuePlaces(
    const std::string& text) {
    std::array<std::size_t, kCameraValueCount> places{};
    std::size_t from = 0;
    for (auto& place : places) {
        std::size_t q = text.find('Q', from);
        if (q == std::string::npos || q + 1 >= text.size()) return std::nullopt;
        place = q + 1;
        from = q + 2;
    }
    return places;
}

}  // namespace

int readDialogNumber(const std::string& text) {
    std::string s = text.substr(0, kDialogNumberLimit);
    std::size_t i = s.find_first_not_of(" \t");
    if (i == std::string::npos) return 0;
    std::int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        value = value * 10 + (s[i] - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

bool pictureWindowInRange(const PictureWindow& w) {
    return w.x0 >= 0 && w.y0 >= 0 && w.x0 < kWindowWidthLimit && w.x1 < kWindowWidthLimit &&
           w.y0 < kWindowHeightLimit && w.y1 < kWindowHeightLimit && w.x1 > w.x0 && w.y1 > w.y0;
}

std::optional<CameraValues> readCameraValues(const std::string& text) {
    auto places = cameraValuePlaces(text);
    if (!places) return std::nullopt;
    const auto& p = *places;
    return CameraValues{{text[p[0]], text[p[1]], text[p[2]]}, {text[p[3]]}, {text[p[4]]}};
}

std::optional<std::string> writeCameraValues(const std::string& text, const CameraValues& values) {
    auto places = cameraValuePlaces(text);
    if (!places || values.autoFocus.size() < kAutoFocusLength ||
        values.shutter.size() < kShutterLength || values.gain.size() < kGainLength)
        return std::nullopt;
    const char chars[kCameraValueCount] = {values.autoFocus[0], values.autoFocus[1],
                                           values.autoFocus[2], values.shutter[0], values.gain[0]};
    std::string result = text;
    for (std::size_t i = 0; i < kCameraValueCount; ++i) result[(*places)[i]] = chars[i];
    return result;
}

}  // namespace pictavo
