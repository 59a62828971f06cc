// How the terminal shows bytes from or to a serial line, in its three display formats:
// Normal keeps printable bytes and CR, ASCII names the control characters ("<CR>", "<LF>",
// ...), HEX shows every byte as two digits. A CR ("\r") is the line break in all three.
// One call renders at most about 8 KB: once 8192 characters are out, the rest is not shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace serial {

enum DisplayFormat : int { kFormatNormal = 0, kFormatAscii = 1, kFormatHex = 2 };

constexpr std::size_t kRenderLimit = 8192;

// The name of a control byte 0x00..0x1F, "<NUL>" to "<US>".
const char* controlCharName(std::uint8_t byte);

std::string renderBytes(const std::uint8_t* data, std::size_t length, int format);

}  // namespace serial
