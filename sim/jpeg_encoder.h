// A small baseline JPEG encoder for grey pictures, so the simulated scanner sends real JPEG
// streams at the quality it was asked for (standard luminance tables, IJG quality scaling).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

// pixels: width * height bytes, rows top-down. quality 1..100.
std::vector<std::uint8_t> encodeGreyJpeg(const std::uint8_t* pixels, int width, int height,
                                         int quality);

// Grows a JPEG stream to exactly size bytes (when it is at least 4 bytes short) with comment
// segments after the start of image; decoders skip them.
std::vector<std::uint8_t> padJpeg(std::vector<std::uint8_t> jpeg, std::size_t size);

}  // namespace sim
