#include "installer/engine/component_versions.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/user_language.h"
#include "platform/version_block.h"

namespace fenwald {

namespace {

constexpr std::size_t kMaxVersionText = 255;

}  // namespace

bool FindComponentFile(const std::string& progId, std::string& path,
                       const platform::ComponentRegistry& registry) {
    const auto classId = registry.classIdOf(progId);
    if (!classId) return false;
    const auto module = registry.moduleOf(*classId);
    if (!module) return false;
    path = *module;
    return true;
}

bool FindComponentFile(const std::string& progId, std::string& path) {
    return FindComponentFile(progId, path,
                             platform::ComponentRegistry(platform::componentRegistryPath()));
}

std::optional<std::string> GetComponentVersion(const std::string& path) {
    const std::uint32_t size = platform::versionInfoSize(path);
    if (size == 0) return std::nullopt;
    std::vector<std::uint8_t> block(std::size_t{size} + 1);
    if (!platform::readVersionInfo(path, block)) return std::nullopt;

    char subBlock[64];
    const auto list = platform::queryVersionValue(block, "\\VarFileInfo\\Translation");
    if (list && list->size() == 4) {
        const auto& b = *list;
        // Language high and low byte, then the code page's.
        std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%02X%02X%02X%02X\\FileVersion",
                      b[1], b[0], b[3], b[2]);
    } else {
        std::snprintf(subBlock, sizeof subBlock, "\\StringFileInfo\\%04X04B0\\FileVersion",
                      platform::userDefaultLanguage());
    }
    const auto text = platform::queryVersionValue(block, subBlock);
    if (!text) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(text->data()),
                       std::min(text->size(), kMaxVersionText));
}

}  // namespace fenwald
