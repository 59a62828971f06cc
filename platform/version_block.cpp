#include "platform/version_block.h"

#include <cctype>

namespace platform {

namespace {

// Reads the block's numbers and texts without ever stepping outside it; the first read that
// would sets failed, and every later read gives zero.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool failed() const { return failed_; }
    std::size_t position() const { return at_; }

    std::span<const std::uint8_t> take(std::size_t n) {
        if (failed_ || n > bytes_.size() - at_) {
            failed_ = true;
            return {};
        }
        auto s = bytes_.subspan(at_, n);
        at_ += n;
        return s;
    }
    std::uint16_t u16() {
        auto b = take(2);
        return b.empty() ? 0 : static_cast<std::uint16_t>(b[0] | b[1] << 8);
    }
    std::uint32_t u32() {
        std::uint32_t low = u16();
        return low | std::uint32_t{u16()} << 16;
    }
    std::span<const std::uint8_t> text() { return take(u16()); }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

bool sameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool sameText(std::span<const std::uint8_t> a, std::string_view b) {
    return sameText(std::string_view(reinterpret_cast<const char*>(a.data()), a.size()), b);
}

// "\StringFileInfo\040904B0\Name" -> the parts between the backslashes.
std::vector<std::string_view> partsOf(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        std::string_view part = path.substr(0, slash);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

// "040904B0" -> language 0x0409, code page 0x04B0.
std::optional<std::pair<std::uint16_t, std::uint16_t>> tableNameOf(std::string_view name) {
    if (name.size() != 8) return std::nullopt;
    std::uint32_t v = 0;
    for (char c : name) {
        const int d = std::isdigit(static_cast<unsigned char>(c))    ? c - '0'
                      : std::isxdigit(static_cast<unsigned char>(c)) ? std::tolower(c) - 'a' + 10
                                                                     : -1;
        if (d < 0) return std::nullopt;
        v = v << 4 | static_cast<std::uint32_t>(d);
    }
    return std::make_pair(static_cast<std::uint16_t>(v >> 16), static_cast<std::uint16_t>(v));
}

constexpr std::size_t kHeaderSize = 8;

}  // namespace

std::optional<std::span<const std::uint8_t>> queryVersionValue(std::span<const std::uint8_t> block,
                                                               std::string_view subBlock) {
    Reader header(block);
    if (header.u32() != kVersionBlockMagic) return std::nullopt;
    const std::uint32_t size = header.u32();
    if (header.failed() || size < kHeaderSize || size > block.size()) return std::nullopt;
    Reader r(block.first(size));
    r.take(kHeaderSize);
    const auto fixed = r.take(kFixedFileInfoSize);
    const std::uint16_t translationCount = r.u16();
    const std::uint16_t tableCount = r.u16();
    const auto translations = r.take(std::size_t{translationCount} * 4);
    if (r.failed()) return std::nullopt;

    const std::vector<std::string_view> parts = partsOf(subBlock);
    if (parts.empty()) return fixed;
    if (parts.size() == 2 && sameText(parts[0], "VarFileInfo") &&
        sameText(parts[1], "Translation")) {
        if (translationCount == 0) return std::nullopt;
        return translations;
    }
    if (parts.size() != 3 || !sameText(parts[0], "StringFileInfo")) return std::nullopt;
    const auto wanted = tableNameOf(parts[1]);
    if (!wanted) return std::nullopt;
    for (std::uint16_t t = 0; t < tableCount; ++t) {
        const std::uint16_t language = r.u16();
        const std::uint16_t codePage = r.u16();
        const std::uint16_t count = r.u16();
        const bool thisTable = language == wanted->first && codePage == wanted->second;
        for (std::uint16_t s = 0; s < count; ++s) {
            const auto name = r.text();
            const auto value = r.text();
            if (r.failed()) return std::nullopt;
            if (thisTable && sameText(name, parts[2])) return value;
        }
        if (r.failed()) return std::nullopt;
    }
    return std::nullopt;
}

std::optional<FixedFileInfo> decodeFixedFileInfo(std::span<const std::uint8_t> bytes) {
    if (bytes.size() != kFixedFileInfoSize) return std::nullopt;
    Reader r(bytes);
    FixedFileInfo f;
    for (std::uint32_t* field :
         {&f.signature, &f.structureVersion, &f.fileVersionMS, &f.fileVersionLS,
          &f.productVersionMS, &f.productVersionLS, &f.fileFlagsMask, &f.fileFlags, &f.fileOS,
          &f.fileType, &f.fileSubtype, &f.fileDateMS, &f.fileDateLS})
        *field = r.u32();
    return f;
}

}  // namespace platform
