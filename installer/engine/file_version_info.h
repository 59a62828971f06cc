// CFileVersionInfo: the version block of a program or module file (platform/version_block.h)
// read into an object, its fixed block and the twelve texts of one translation.
//
// Create reads the block and picks the translation whose texts it keeps: the user's default
// language (platform/user_language.h) if the block has it, else one of the same primary
// language, else the neutral language, else English, else the first one. A block without a
// translation list leaves the texts empty. Not thread-safe; create and read on one thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/version_block.h"

class CFileVersionInfo {
public:
    CFileVersionInfo() = default;
    virtual ~CFileVersionInfo() = default;

    // Reads the file's version block; false when it has none or it cannot be read.
    bool Create(const std::string& path);
    // The same for a loaded module (platform/loadable_module.h); null: the running program.
    bool Create(void* module = nullptr);
    // Zeroes the fixed block and empties the texts.
    virtual void Reset();

    // All zero when not read.
    const platform::FixedFileInfo& GetFixedFileInfo() const { return fixed_; }

    // Empty when not read or not in the block.
    const std::string& GetCompanyName() const { return texts_[0]; }
    const std::string& GetFileDescription() const { return texts_[1]; }
    const std::string& GetFileVersion() const { return texts_[2]; }
    const std::string& GetInternalName() const { return texts_[3]; }
    const std::string& GetLegalCopyright() const { return texts_[4]; }
    const std::string& GetOriginalFileName() const { return texts_[5]; }
    const std::string& GetProductName() const { return texts_[6]; }
    const std::string& GetProductVersion() const { return texts_[7]; }
    const std::string& GetComments() const { return texts_[8]; }
    const std::string& GetLegalTrademarks() const { return texts_[9]; }
    const std::string& GetPrivateBuild() const { return texts_[10]; }
    const std::string& GetSpecialBuild() const { return texts_[11]; }

    // The index of the translation Create keeps for a user of language userLanguage, from
    // the block's list (language in the low 16 bits of each entry); 0 for an empty list.
    static std::size_t ChooseTranslation(std::span<const std::uint32_t> translations,
                                         std::uint16_t userLanguage);

private:
    platform::FixedFileInfo fixed_{};
    std::array<std::string, platform::kVersionStringNames.size()> texts_;
};
