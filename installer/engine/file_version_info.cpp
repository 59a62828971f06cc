#include "installer/engine/file_version_info.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

#include "platform/folders.h"
#include "platform/loadable_module.h"
#include "platform/user_language.h"

namespace {

std::string textOf(std::span<const std::uint8_t> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

bool CFileVersionInfo::Create(const std::string& path) {
    Reset();
    const std::uint32_t size = platform::versionInfoSize(path);
    if (size == 0) return false;
    std::vector<std::uint8_t> block(size);
    if (!platform::readVersionInfo(path, block)) return false;

    if (auto root = platform::queryVersionValue(block, "\\"); root && root->size() == sizeof fixed_)
        fixed_ = *platform::decodeFixedFileInfo(*root);

    const auto list = platform::queryVersionValue(block, "\\VarFileInfo\\Translation");
    if (!list || list->size() < 4) return true;
    std::vector<std::uint32_t> translations;
    for (std::size_t at = 0; at + 4 <= list->size(); at += 4) {
        const auto* b = list->data() + at;
        translations.push_back(std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 |
                               std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24);
    }
    const std::uint32_t chosen =
        translations[ChooseTranslation(translations, platform::userDefaultLanguage())];

    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", chosen & 0xFFFF,
                  chosen >> 16);
    for (std::size_t i = 0; i < texts_.size(); ++i)
        if (auto text = platform::queryVersionValue(
                block, std::string(prefix) + platform::kVersionStringNames[i]))
            texts_[i] = textOf(*text);
    return true;
}

bool CFileVersionInfo::Create(void* module) {
    return Create(module ? platform::moduleFilePath(module) : platform::executablePath());
}

void CFileVersionInfo::Reset() {
    fixed_ = {};
    for (std::string& text : texts_) text.clear();
}

std::size_t CFileVersionInfo::ChooseTranslation(std::span<const std::uint32_t> translations,
                                                std::uint16_t userLanguage) {
    auto find = [&](const std::function<bool(std::uint16_t)>& fits) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < translations.size(); ++i)
            if (fits(static_cast<std::uint16_t>(translations[i] & 0xFFFF))) return i;
        return std::nullopt;
    };
    auto language = [&](std::uint16_t wanted) {
        return find([wanted](std::uint16_t l) { return l == wanted; });
    };
    auto lowByte = [&](std::uint16_t wanted) {
        return find([wanted](std::uint16_t l) { return (l & 0xFF) == (wanted & 0xFF); });
    };
    for (auto found : {language(userLanguage), lowByte(userLanguage), language(0), lowByte(0),
                       language(9), lowByte(9)})
        if (found) return *found;
    return 0;
}
