// The values behind the picture settings dialogs: how an edit's text reads as a number, which
// picture windows and qualities are accepted, and the five camera values inside the camera
// set-up text ("[OOUQ1Q0Q0Q2Q1": each value is the character after a letter 'Q').
#pragma once

#include <optional>
#include <string>

#include "picture/engine/capture_protocol.h"

namespace pictavo {

// An edit's text as the dialogs read it: at most its first 10 characters, leading blanks
// skipped, the decimal digits up to the first other character (none: 0). Values too large for
// an int read as the largest int, so they are refused like any other value out of range.
int readDialogNumber(const std::string& text);

// Inside 1280 by 1024 and at least 2 by 2 pixels: x0, x1 below 1280, y0, y1 below 1024,
// x1 > x0 and y1 > y0.
bool pictureWindowInRange(const PictureWindow& window);

// The quality dialog accepts any value up to 100; the engine takes only multiples of 5.
constexpr int kQualityLimit = 100;
inline bool qualityInRange(int quality) {
    return quality <= kQualityLimit;
}

struct CameraValues {
    std::string autoFocus;  // the characters after the 1st, 2nd and 3rd 'Q'
    std::string shutter;    // after the 4th
    std::string gain;       // after the 5th
    bool operator==(const CameraValues&) const = default;
};

constexpr std::size_t kAutoFocusLength = 3, kShutterLength = 1, kGainLength = 1;

// The five values, each the character after a 'Q'; the search for the next 'Q' starts after
// the value just read (so reading and writing find the same places). Nothing when the text
// does not hold five 'Q' each followed by a character.
std::optional<CameraValues> readCameraValues(const std::string& text);

// The text with the five values written over the characters after its first five 'Q' (found
// as readCameraValues finds them); every other character stays. Nothing, and the text is
// left alone, when the text lacks those places or a value is shorter than its field (three
// characters of auto focus, one of shutter and of gain); longer values give their first
// characters.
std::optional<std::string> writeCameraValues(const std::string& text, const CameraValues& values);

}  // namespace pictavo
