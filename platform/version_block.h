// Version blocks: what a program or component module says about itself (its file and product
// version, company, descriptions), embedded in the binary at build time and read back by the
// version calls the windows use (GetFileVersionInfo and VerQueryValue on the original platform).
//
// Every program and module carries one, made by the CMake function veltrix_version_block()
// (cmake/VeltrixVersionBlock.cmake) in an ELF section of its own, kVersionSection. The block's
// format, all numbers little-endian, nothing padded:
//
//     u32  magic "VXVB"
//     u32  size of the whole block in bytes
//     52   fixed file information: 13 u32, in FixedFileInfo's order
//     u16  T, the number of translations;  u16  S, the number of string tables
//     T x  u32 translation: language in the low 16 bits, code page in the high 16 bits
//     S x  string table: u16 language, u16 code page, u16 N strings,
//          N x (u16 name length, the name, u16 value length, the value; 8-bit text, no NUL)
//
// The translation list and the string tables are separate, as in the original resources: a
// block may have tables without a list (the version calls then guess the table's name).
//
// Reading never trusts its input: a truncated or hostile file or block gives "no block" or
// "no such value", never a read outside the bytes given. Everything here may be called from
// any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// The fixed file information (VS_FIXEDFILEINFO), 52 bytes.
struct FixedFileInfo {
    std::uint32_t signature = 0;
    std::uint32_t structureVersion = 0;
    std::uint32_t fileVersionMS = 0;  // major << 16 | minor
    std::uint32_t fileVersionLS = 0;  // patch << 16 | build
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t fileFlagsMask = 0;
    std::uint32_t fileFlags = 0;
    std::uint32_t fileOS = 0;
    std::uint32_t fileType = 0;
    std::uint32_t fileSubtype = 0;
    std::uint32_t fileDateMS = 0;
    std::uint32_t fileDateLS = 0;

    friend bool operator==(const FixedFileInfo&, const FixedFileInfo&) = default;
};
inline constexpr std::size_t kFixedFileInfoSize = 52;
static_assert(sizeof(FixedFileInfo) == kFixedFileInfoSize);

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr std::uint32_t kFixedFileInfoStructureVersion = 0x00010000;
inline constexpr std::uint32_t kFileFlagsMask = 0x3F;
inline constexpr std::uint32_t kFileFlagDebug = 0x1;
inline constexpr std::uint32_t kFileOSUnknown = 0;  // the original's list has no Linux
inline constexpr std::uint32_t kFileTypeApplication = 1;
inline constexpr std::uint32_t kFileTypeModule = 2;  // a loadable module (a DLL there)

inline constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
inline constexpr std::uint16_t kCodePageUnicode = 0x04B0;

// A macro too, for the generated code's section attribute, which takes only a literal.
#define VELTRIX_VERSION_SECTION ".veltrix_version"
inline constexpr const char* kVersionSection = VELTRIX_VERSION_SECTION;
inline constexpr std::uint32_t kVersionBlockMagic = 0x42565856;  // "VXVB"

// The string table's names, in the order the version reader keeps them.
inline constexpr std::array<const char*, 12> kVersionStringNames = {
    "CompanyName",    "FileDescription",  "FileVersion",  "InternalName",
    "LegalCopyright", "OriginalFileName", "ProductName",  "ProductVersion",
    "Comments",       "LegalTrademarks",  "PrivateBuild", "SpecialBuild",
};

struct VersionStringTable {
    std::uint16_t language = kLanguageUsEnglish;
    std::uint16_t codePage = kCodePageUnicode;
    std::vector<std::pair<std::string, std::string>> strings;  // name, value
};

struct VersionInfo {
    FixedFileInfo fixed;
    std::vector<std::uint32_t> translations;
    std::vector<VersionStringTable> tables;
};

constexpr std::uint32_t translationOf(std::uint16_t language, std::uint16_t codePage) {
    return std::uint32_t{codePage} << 16 | language;
}

// The block of info in the format above. constexpr, so the generated code of each binary
// builds its block while compiling (and the tests build odd ones at run time).
constexpr std::vector<std::uint8_t> encodeVersionBlock(const VersionInfo& info) {
    std::vector<std::uint8_t> out;
    auto u16 = [&out](std::size_t v) {
        out.push_back(static_cast<std::uint8_t>(v & 0xFF));
        out.push_back(static_cast<std::uint8_t>(v >> 8 & 0xFF));
    };
    auto u32 = [&u16](std::uint32_t v) {
        u16(v & 0xFFFF);
        u16(v >> 16);
    };
    auto text = [&](const std::string& s) {
        u16(s.size());
        for (char c : s) out.push_back(static_cast<std::uint8_t>(c));
    };
    const FixedFileInfo& f = info.fixed;
    u32(kVersionBlockMagic);
    u32(0);  // the size, below
    for (std::uint32_t v : {f.signature, f.structureVersion, f.fileVersionMS, f.fileVersionLS,
                            f.productVersionMS, f.productVersionLS, f.fileFlagsMask, f.fileFlags,
                            f.fileOS, f.fileType, f.fileSubtype, f.fileDateMS, f.fileDateLS})
        u32(v);
    u16(info.translations.size());
    u16(info.tables.size());
    for (std::uint32_t t : info.translations) u32(t);
    for (const VersionStringTable& table : info.tables) {
        u16(table.language);
        u16(table.codePage);
        u16(table.strings.size());
        for (const auto& [name, value] : table.strings) {
            text(name);
            text(value);
        }
    }
    const std::size_t size = out.size();
    for (int i = 0; i < 4; ++i) out[4 + i] = static_cast<std::uint8_t>(size >> (8 * i) & 0xFF);
    return out;
}

// What a program's or module's block holds: the project's version as file and product
// version, and the twelve texts (kVersionStringNames' order) under each translation.
constexpr VersionInfo programVersionInfo(std::uint32_t fileType, bool debug, int major, int minor,
                                         int patch, const std::array<std::string, 12>& texts,
                                         const std::vector<std::uint32_t>& translations) {
    VersionInfo info;
    FixedFileInfo& f = info.fixed;
    f.signature = kFixedFileInfoSignature;
    f.structureVersion = kFixedFileInfoStructureVersion;
    f.fileVersionMS = f.productVersionMS =
        static_cast<std::uint32_t>(major) << 16 | static_cast<std::uint32_t>(minor);
    f.fileVersionLS = f.productVersionLS = static_cast<std::uint32_t>(patch) << 16;
    f.fileFlagsMask = kFileFlagsMask;
    f.fileFlags = debug ? kFileFlagDebug : 0;
    f.fileOS = kFileOSUnknown;
    f.fileType = fileType;
    info.translations = translations;
    for (std::uint32_t t : translations) {
        VersionStringTable table{
            static_cast<std::uint16_t>(t & 0xFFFF), static_cast<std::uint16_t>(t >> 16), {}};
        for (std::size_t i = 0; i < texts.size(); ++i)
            table.strings.emplace_back(kVersionStringNames[i], texts[i]);
        info.tables.push_back(std::move(table));
    }
    return info;
}

// The block of info as an array of N bytes, its size (encodeVersionBlock(info).size()), for
// the generated code to place in the binary.
template <std::size_t N>
constexpr std::array<std::uint8_t, N> versionBlockArray(const VersionInfo& info) {
    const std::vector<std::uint8_t> bytes = encodeVersionBlock(info);
    std::array<std::uint8_t, N> block{};
    for (std::size_t i = 0; i < N && i < bytes.size(); ++i) block[i] = bytes[i];
    return block;
}

// The size of the version block of the binary at path: 0 when it has none or the file cannot
// be read or is not a binary this platform knows.
std::uint32_t versionInfoSize(const std::string& path);
// Reads that block into buffer, which must hold at least versionInfoSize(path) bytes.
bool readVersionInfo(const std::string& path, std::span<std::uint8_t> buffer);

// A value of a block (the block at the start of the bytes given), found by its sub-block path
// as the original's version calls take them, names matched without regard to case:
//     "\"                                   the fixed file information, 52 bytes
//     "\VarFileInfo\Translation"            the translation list, 4 bytes an entry
//     "\StringFileInfo\040904B0\FileVersion"  a text, without terminator
// Nothing when the block has no such value or is malformed.
std::optional<std::span<const std::uint8_t>> queryVersionValue(std::span<const std::uint8_t> block,
                                                               std::string_view subBlock);

// The 52 bytes of the fixed block as a record; nothing for another size.
std::optional<FixedFileInfo> decodeFixedFileInfo(std::span<const std::uint8_t> bytes);

}  // namespace platform
