#include "tests/support/version_files.h"

#include <elf.h>

#include <cstdlib>
#include <fstream>

namespace testenv {

namespace {

class Out {
public:
    Out(std::vector<std::uint8_t>& bytes, bool bigEndian) : bytes_(bytes), big_(bigEndian) {}
    void put(std::uint64_t v, int size) {
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (big_ ? size - 1 - i : i);
            bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }

private:
    std::vector<std::uint8_t>& bytes_;
    bool big_;
};

}  // namespace

std::vector<std::uint8_t> elfImage(const std::vector<ElfSection>& sections, ElfLayout layout) {
    const int word = layout.wide ? 8 : 4;
    const std::size_t headerSize = layout.wide ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
    const std::size_t entrySize = layout.wide ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);

    std::vector<std::uint8_t> body;  // after the header
    std::vector<std::uint64_t> offsets;
    std::string names(1, '\0');
    std::vector<std::uint32_t> nameAt;
    for (const ElfSection& s : sections) {
        offsets.push_back(headerSize + body.size());
        if (!s.noBits) body.insert(body.end(), s.contents.begin(), s.contents.end());
        nameAt.push_back(static_cast<std::uint32_t>(names.size()));
        names += s.name + '\0';
    }
    const std::uint32_t namesName = static_cast<std::uint32_t>(names.size());
    names += std::string(".shstrtab") + '\0';
    const std::uint64_t namesOffset = headerSize + body.size();
    body.insert(body.end(), names.begin(), names.end());
    const std::uint64_t tableOffset = headerSize + body.size();
    const std::size_t count = sections.size() + 2;

    std::vector<std::uint8_t> out;
    Out o(out, layout.bigEndian);
    const std::uint8_t ident[EI_NIDENT] = {
        ELFMAG0,
        ELFMAG1,
        ELFMAG2,
        ELFMAG3,
        static_cast<std::uint8_t>(layout.wide ? ELFCLASS64 : ELFCLASS32),
        static_cast<std::uint8_t>(layout.bigEndian ? ELFDATA2MSB : ELFDATA2LSB),
        EV_CURRENT};
    out.insert(out.end(), ident, ident + EI_NIDENT);
    o.put(ET_DYN, 2);
    o.put(layout.wide ? EM_X86_64 : EM_386, 2);
    o.put(EV_CURRENT, 4);
    o.put(0, word);            // entry
    o.put(0, word);            // program headers
    o.put(tableOffset, word);  // section headers
    o.put(0, 4);               // flags
    o.put(headerSize, 2);
    o.put(0, 2);  // program header entry size
    o.put(0, 2);  // program headers
    o.put(entrySize, 2);
    o.put(count, 2);
    o.put(count - 1, 2);  // the names' section
    out.insert(out.end(), body.begin(), body.end());

    auto entry = [&](std::uint32_t name, std::uint32_t type, std::uint64_t offset,
                     std::uint64_t size) {
        o.put(name, 4);
        o.put(type, 4);
        o.put(0, word);  // flags
        o.put(0, word);  // address
        o.put(offset, word);
        o.put(size, word);
        o.put(0, 4);  // link
        o.put(0, 4);  // info
        o.put(1, word);
        o.put(0, word);
    };
    entry(0, SHT_NULL, 0, 0);
    for (std::size_t i = 0; i < sections.size(); ++i)
        entry(nameAt[i], sections[i].noBits ? SHT_NOBITS : SHT_PROGBITS, offsets[i],
              sections[i].contents.size());
    entry(namesName, SHT_STRTAB, namesOffset, names.size());
    return out;
}

std::vector<std::uint8_t> elfWithVersionBlock(const std::vector<std::uint8_t>& block,
                                              ElfLayout layout) {
    return elfImage({{".text", {0x90, 0x90, 0xC3}}, {platform::kVersionSection, block}}, layout);
}

void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> versionBlock(const std::vector<TableText>& tables, bool withList) {
    platform::VersionInfo info;
    info.fixed.signature = platform::kFixedFileInfoSignature;
    info.fixed.structureVersion = platform::kFixedFileInfoStructureVersion;
    info.fixed.fileType = platform::kFileTypeModule;
    for (const TableText& t : tables) {
        if (withList) info.translations.push_back(platform::translationOf(t.language, t.codePage));
        info.tables.push_back(
            {t.language, t.codePage, {{"CompanyName", "Veltrix"}, {"FileVersion", t.fileVersion}}});
    }
    return platform::encodeVersionBlock(info);
}

namespace {
const char* kLocaleVars[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
}

UserLocale::UserLocale(const std::string& all, const std::string& messages,
                       const std::string& lang) {
    const std::string* values[3] = {&all, &messages, &lang};
    for (int i = 0; i < 3; ++i) {
        if (const char* v = std::getenv(kLocaleVars[i])) {
            had_[i] = true;
            saved_[i] = v;
        }
        if (values[i]->empty())
            ::unsetenv(kLocaleVars[i]);
        else
            ::setenv(kLocaleVars[i], values[i]->c_str(), 1);
    }
}

UserLocale::~UserLocale() {
    for (int i = 0; i < 3; ++i) {
        if (had_[i])
            ::setenv(kLocaleVars[i], saved_[i].c_str(), 1);
        else
            ::unsetenv(kLocaleVars[i]);
    }
}

}  // namespace testenv
