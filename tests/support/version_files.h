// What the version tests share: binaries made to order (an ELF file with the sections given,
// 32- or 64-bit, either byte order, for blocks no build would make and for damaged files),
// and the user's locale set for a test's life.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/version_block.h"

namespace testenv {

struct ElfSection {
    std::string name;
    std::vector<std::uint8_t> contents;
    bool noBits = false;  // SHT_NOBITS: a size, no contents in the file
};

struct ElfLayout {
    bool wide = true;  // ELFCLASS64, else ELFCLASS32
    bool bigEndian = false;
};

// Header, the sections' contents, their names, then the section table (entry 0 empty, the
// names' section last).
std::vector<std::uint8_t> elfImage(const std::vector<ElfSection>& sections, ElfLayout layout = {});
// An ELF file holding block in the version section.
std::vector<std::uint8_t> elfWithVersionBlock(const std::vector<std::uint8_t>& block,
                                              ElfLayout layout = {});

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// A version block with one string table per translation, each with FileVersion and
// CompanyName, the FileVersion texts given per table.
struct TableText {
    std::uint16_t language, codePage;
    std::string fileVersion;
};
std::vector<std::uint8_t> versionBlock(const std::vector<TableText>& tables, bool withList = true);

// Sets LC_ALL, LC_MESSAGES and LANG (empty: unset) and puts them back afterwards.
class UserLocale {
public:
    UserLocale(const std::string& all, const std::string& messages, const std::string& lang);
    explicit UserLocale(const std::string& lang) : UserLocale("", "", lang) {}
    ~UserLocale();
    UserLocale(const UserLocale&) = delete;
    UserLocale& operator=(const UserLocale&) = delete;

private:
    std::string saved_[3];
    bool had_[3] = {};
};

}  // namespace testenv
