#include "serial/terminal_format.h"

#include <algorithm>
#include <cstdio>

namespace serial {

namespace {

constexpr const char* kNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>",
    "<BS>",  "<HT>",  "<LF>",  "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",
    "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>", "<SYN>", "<ETB>",
    "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>",
};

constexpr char kCR = '\r';

}  // namespace

const char* controlCharName(std::uint8_t byte) {
    return byte < 32 ? kNames[byte] : "";
}

std::string renderBytes(const std::uint8_t* data, std::size_t length, int format) {
    std::string out;
    out.reserve(
        std::min<std::size_t>(length * (format == kFormatNormal ? 1 : 3), kRenderLimit + 8));
    for (std::size_t i = 0; i < length && out.size() < kRenderLimit; ++i) {
        std::uint8_t b = data[i];
        switch (format) {
            case kFormatAscii:
                if (b >= 0x20)
                    out += static_cast<char>(b);
                else if (b == 0x0D)
                    out += "<CR>\r";
                else
                    out += kNames[b];
                break;
            case kFormatHex: {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02X%c", b, b == 0x0D ? kCR : ' ');
                out += hex;
                break;
            }
            default:
                if (b >= 0x20 || b == 0x0D) out += static_cast<char>(b);
                break;
        }
    }
    return out;
}

}  // namespace serial
