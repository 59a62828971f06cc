// The version block of an ELF binary: the section kVersionSection, found through the section
// headers (32- and 64-bit, either byte order). Every offset and count read from the file is
// checked against the file's size before it is used.
#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/version_block.h"

namespace platform {

namespace {

// A version block is small; anything claiming more is not one of ours.
constexpr std::uint64_t kMaxBlockSize = 1 << 20;
constexpr std::uint64_t kMaxSectionCount = 1 << 16;

class File {
public:
    explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            size_ = static_cast<std::uint64_t>(st.st_size);
    }
    ~File() {
        if (fd_ >= 0) ::close(fd_);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    std::uint64_t size() const { return size_; }

    // Exactly out.size() bytes at offset, all within the file.
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) const {
        if (offset > size_ || out.size() > size_ - offset) return false;
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                                      static_cast<off_t>(offset + done));
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

private:
    int fd_;
    std::uint64_t size_ = 0;
};

// Numbers of the file's own byte order.
struct Decoder {
    bool bigEndian = false;
    std::uint64_t get(const std::uint8_t* p, int bytes) const {
        std::uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            const int at = bigEndian ? i : bytes - 1 - i;
            v = v << 8 | p[at];
        }
        return v;
    }
};

// Where a section's contents are in the file.
struct Extent {
    std::uint64_t offset = 0, size = 0;
};

struct SectionHeader {
    std::uint32_t name = 0, type = 0, link = 0;
    std::uint64_t offset = 0, size = 0;
};

class ElfSections {
public:
    explicit ElfSections(const File& file) : file_(file) {}

    // The contents of the section called name; nothing when the file is not a sound ELF file
    // or has no such section.
    std::optional<Extent> find(const char* name) {
        if (!readHeader()) return std::nullopt;
        std::vector<std::uint8_t> table;
        if (!readSectionTable(table)) return std::nullopt;
        const SectionHeader names = sectionAt(table, stringTableIndex_);
        if (names.type == SHT_NOBITS || !within(names.offset, names.size)) return std::nullopt;
        const std::size_t nameSize = std::strlen(name) + 1;
        std::vector<std::uint8_t> candidate(nameSize);
        for (std::uint64_t i = 0; i < count_; ++i) {
            const SectionHeader s = sectionAt(table, i);
            if (s.type == SHT_NOBITS || s.name >= names.size || nameSize > names.size - s.name)
                continue;
            if (!file_.read(names.offset + s.name, candidate)) return std::nullopt;
            if (std::memcmp(candidate.data(), name, nameSize) != 0) continue;
            if (!within(s.offset, s.size)) return std::nullopt;
            return Extent{s.offset, s.size};
        }
        return std::nullopt;
    }

private:
    bool within(std::uint64_t offset, std::uint64_t size) const {
        return offset <= file_.size() && size <= file_.size() - offset;
    }

    bool readHeader() {
        std::uint8_t h[sizeof(Elf64_Ehdr)] = {};
        const std::size_t identSize = EI_NIDENT;
        if (!file_.read(0, std::span(h, identSize))) return false;
        if (std::memcmp(h, ELFMAG, SELFMAG) != 0) return false;
        if (h[EI_CLASS] == ELFCLASS64)
            wide_ = true;
        else if (h[EI_CLASS] != ELFCLASS32)
            return false;
        if (h[EI_DATA] == ELFDATA2MSB)
            d_.bigEndian = true;
        else if (h[EI_DATA] != ELFDATA2LSB)
            return false;
        const std::size_t headerSize = wide_ ? sizeof(Elf64_Ehdr) : sizeof(Elf32_Ehdr);
        if (!file_.read(0, std::span(h, headerSize))) return false;
        if (wide_) {
            sectionTable_ = d_.get(h + offsetof(Elf64_Ehdr, e_shoff), 8);
            entrySize_ = d_.get(h + offsetof(Elf64_Ehdr, e_shentsize), 2);
            count_ = d_.get(h + offsetof(Elf64_Ehdr, e_shnum), 2);
            stringTableIndex_ = d_.get(h + offsetof(Elf64_Ehdr, e_shstrndx), 2);
        } else {
            sectionTable_ = d_.get(h + offsetof(Elf32_Ehdr, e_shoff), 4);
            entrySize_ = d_.get(h + offsetof(Elf32_Ehdr, e_shentsize), 2);
            count_ = d_.get(h + offsetof(Elf32_Ehdr, e_shnum), 2);
            stringTableIndex_ = d_.get(h + offsetof(Elf32_Ehdr, e_shstrndx), 2);
        }
        const std::uint64_t minimum = wide_ ? sizeof(Elf64_Shdr) : sizeof(Elf32_Shdr);
        return sectionTable_ != 0 && entrySize_ >= minimum;
    }

    bool readSectionTable(std::vector<std::uint8_t>& table) {
        // Many sections: the real count and string table index are in section 0.
        if (count_ == 0 || stringTableIndex_ == SHN_XINDEX) {
            std::vector<std::uint8_t> first(entrySize_);
            if (!file_.read(sectionTable_, first)) return false;
            const SectionHeader zero = sectionAt(first, 0);
            if (count_ == 0) count_ = zero.size;
            if (stringTableIndex_ == SHN_XINDEX) stringTableIndex_ = zero.link;
        }
        if (count_ == 0 || count_ > kMaxSectionCount || stringTableIndex_ >= count_) return false;
        if (!within(sectionTable_, count_ * entrySize_)) return false;
        table.resize(count_ * entrySize_);
        return file_.read(sectionTable_, table);
    }

    // Entry i of a table that holds it (the callers' tables do).
    SectionHeader sectionAt(const std::vector<std::uint8_t>& table, std::uint64_t i) const {
        const std::uint8_t* e = table.data() + i * entrySize_;
        SectionHeader s;
        if (wide_) {
            s.name = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf64_Shdr, sh_name), 4));
            s.type = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf64_Shdr, sh_type), 4));
            s.offset = d_.get(e + offsetof(Elf64_Shdr, sh_offset), 8);
            s.size = d_.get(e + offsetof(Elf64_Shdr, sh_size), 8);
            s.link = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf64_Shdr, sh_link), 4));
        } else {
            s.name = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf32_Shdr, sh_name), 4));
            s.type = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf32_Shdr, sh_type), 4));
            s.offset = d_.get(e + offsetof(Elf32_Shdr, sh_offset), 4);
            s.size = d_.get(e + offsetof(Elf32_Shdr, sh_size), 4);
            s.link = static_cast<std::uint32_t>(d_.get(e + offsetof(Elf32_Shdr, sh_link), 4));
        }
        return s;
    }

    const File& file_;
    Decoder d_;
    bool wide_ = false;
    std::uint64_t sectionTable_ = 0, entrySize_ = 0, count_ = 0, stringTableIndex_ = 0;
};

// The block in the file: its place and its own size, once its header has been checked.
std::optional<Extent> locateBlock(const File& file) {
    const auto section = ElfSections(file).find(kVersionSection);
    if (!section || section->size < 8) return std::nullopt;
    std::uint8_t header[8];
    if (!file.read(section->offset, header)) return std::nullopt;
    auto u32 = [&](int at) {
        return std::uint32_t{header[at]} | std::uint32_t{header[at + 1]} << 8 |
               std::uint32_t{header[at + 2]} << 16 | std::uint32_t{header[at + 3]} << 24;
    };
    const std::uint32_t size = u32(4);
    if (u32(0) != kVersionBlockMagic || size < 8 || size > section->size || size > kMaxBlockSize)
        return std::nullopt;
    return Extent{section->offset, size};
}

}  // namespace

std::uint32_t versionInfoSize(const std::string& path) {
    File file(path);
    const auto block = locateBlock(file);
    return block ? static_cast<std::uint32_t>(block->size) : 0;
}

bool readVersionInfo(const std::string& path, std::span<std::uint8_t> buffer) {
    File file(path);
    const auto block = locateBlock(file);
    return block && block->size <= buffer.size() &&
           file.read(block->offset, buffer.first(block->size));
}

}  // namespace platform
