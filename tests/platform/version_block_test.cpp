#include "platform/version_block.h"

#include <gtest/gtest.h>

#include <elf.h>

#include <random>

#include "tests/support/test_env.h"
#include "tests/support/version_files.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

std::string text(std::span<const std::uint8_t> s) {
    return std::string(s.begin(), s.end());
}

std::optional<std::string> textAt(const Bytes& block, std::string_view path) {
    auto v = platform::queryVersionValue(block, path);
    if (!v) return std::nullopt;
    return text(*v);
}

Bytes programBlock() {
    std::array<std::string, 12> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = std::string("text of ") + platform::kVersionStringNames[i];
    return platform::encodeVersionBlock(platform::programVersionInfo(
        platform::kFileTypeApplication, false, 2, 7, 13, texts,
        {platform::translationOf(0x0409, 0x04B0), platform::translationOf(0x0413, 0x04E4)}));
}

// What a reader must survive: every query of a broken block, none of which may read outside it.
void queryEverything(const Bytes& block) {
    for (const char* path :
         {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904B0\\FileVersion",
          "\\StringFileInfo\\041304E4\\SpecialBuild", "\\StringFileInfo\\zz\\x"})
        if (auto v = platform::queryVersionValue(block, path)) {
            ASSERT_LE(v->data() + v->size(), block.data() + block.size());
        }
}

TEST(VersionBlock, TheFixedBlockHoldsTheVersionAsHighAndLowWords) {
    const Bytes block = programBlock();
    auto fixed = platform::queryVersionValue(block, "\\");
    ASSERT_TRUE(fixed);
    ASSERT_EQ(fixed->size(), 52u);
    const auto f = platform::decodeFixedFileInfo(*fixed);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->signature, 0xFEEF04BDu);
    EXPECT_EQ(f->structureVersion, 0x00010000u);
    EXPECT_EQ(f->fileVersionMS, 0x00020007u);
    EXPECT_EQ(f->fileVersionLS, 0x000D0000u);
    EXPECT_EQ(f->productVersionMS, 0x00020007u);
    EXPECT_EQ(f->fileType, platform::kFileTypeApplication);
    EXPECT_EQ(f->fileFlags, 0u);
    EXPECT_FALSE(platform::decodeFixedFileInfo(fixed->first(51)));
}

TEST(VersionBlock, TranslationsAreLanguageLowWordCodePageHighWord) {
    const Bytes block = programBlock();
    auto list = platform::queryVersionValue(block, "\\VarFileInfo\\Translation");
    ASSERT_TRUE(list);
    EXPECT_EQ(Bytes(list->begin(), list->end()),
              (Bytes{0x09, 0x04, 0xB0, 0x04, 0x13, 0x04, 0xE4, 0x04}));
}

TEST(VersionBlock, TextsAreFoundByTableAndNameInAnyLetterCase) {
    const Bytes block = programBlock();
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\040904B0\\FileVersion"), "text of FileVersion");
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\041304E4\\SpecialBuild"), "text of SpecialBuild");
    EXPECT_EQ(textAt(block, "\\stringfileinfo\\040904b0\\companyname"), "text of CompanyName");
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\040904B0\\NoSuchName"), std::nullopt);
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\080904B0\\FileVersion"), std::nullopt);
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\0409\\FileVersion"), std::nullopt);
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\040904B0"), std::nullopt);
    EXPECT_EQ(textAt(block, "\\Elsewhere\\Translation"), std::nullopt);
}

TEST(VersionBlock, TablesWithoutAListHaveNoTranslationValue) {
    const Bytes block = testenv::versionBlock({{0x0413, 0x04B0, "4.5"}}, /*withList=*/false);
    EXPECT_FALSE(platform::queryVersionValue(block, "\\VarFileInfo\\Translation"));
    EXPECT_EQ(textAt(block, "\\StringFileInfo\\041304B0\\FileVersion"), "4.5");
}

TEST(VersionBlock, BrokenBlocksGiveNothingAndNeverReadOutsideThem) {
    const Bytes good = programBlock();
    for (std::size_t n = 0; n < good.size(); ++n) {
        const Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
        // Its size says more than there is.
        EXPECT_FALSE(platform::queryVersionValue(cut, "\\")) << n;
        queryEverything(cut);
    }
    Bytes wrongMagic = good;
    wrongMagic[0] ^= 1;
    EXPECT_FALSE(platform::queryVersionValue(wrongMagic, "\\"));

    // A size that fits the bytes but cuts a table short.
    Bytes shortSize = good;
    shortSize[4] = 80;
    shortSize[5] = shortSize[6] = shortSize[7] = 0;
    EXPECT_TRUE(platform::queryVersionValue(shortSize, "\\"));
    EXPECT_FALSE(
        platform::queryVersionValue(shortSize, "\\StringFileInfo\\041304E4\\SpecialBuild"));

    std::mt19937 random(20240611);
    for (int round = 0; round < 2000; ++round) {
        Bytes mangled = good;
        for (int k = 0; k < 3; ++k)
            mangled[8 + random() % (mangled.size() - 8)] = static_cast<std::uint8_t>(random());
        queryEverything(mangled);
    }
}

class VersionFile : public ::testing::Test {
protected:
    std::string write(const Bytes& bytes, const std::string& name = "binary") {
        const std::string path = dir_.file(name);
        testenv::writeBytes(path, bytes);
        return path;
    }
    testenv::ScratchDir dir_;
};

TEST_F(VersionFile, TheBlockIsFoundInEveryKindOfElfFile) {
    const Bytes block = programBlock();
    for (testenv::ElfLayout layout :
         {testenv::ElfLayout{true, false}, testenv::ElfLayout{false, false},
          testenv::ElfLayout{true, true}, testenv::ElfLayout{false, true}}) {
        const std::string path = write(testenv::elfWithVersionBlock(block, layout));
        ASSERT_EQ(platform::versionInfoSize(path), block.size()) << layout.wide << layout.bigEndian;
        Bytes read(block.size());
        ASSERT_TRUE(platform::readVersionInfo(path, read));
        EXPECT_EQ(read, block);
        Bytes small(block.size() - 1);
        EXPECT_FALSE(platform::readVersionInfo(path, small));
    }
}

TEST_F(VersionFile, ABlockInASectionWithPaddingAfterItIsTheBlockAlone) {
    Bytes padded = programBlock();
    const std::size_t size = padded.size();
    padded.resize(size + 24, 0);
    EXPECT_EQ(platform::versionInfoSize(write(testenv::elfWithVersionBlock(padded))), size);
}

TEST_F(VersionFile, FilesWithoutABlockHaveSizeZero) {
    EXPECT_EQ(platform::versionInfoSize(dir_.file("missing")), 0u);
    EXPECT_EQ(platform::versionInfoSize(dir_.path()), 0u);
    EXPECT_EQ(platform::versionInfoSize(write(Bytes{'M', 'Z', 0, 0}, "dos")), 0u);
    EXPECT_EQ(platform::versionInfoSize(write({}, "empty")), 0u);
    EXPECT_EQ(platform::versionInfoSize(write(testenv::elfImage({{".text", {1, 2, 3}}}), "plain")),
              0u);
    // The section is there but holds no block, or no bytes in the file.
    EXPECT_EQ(platform::versionInfoSize(
                  write(testenv::elfImage({{platform::kVersionSection, Bytes(64, 0x55)}}), "junk")),
              0u);
    EXPECT_EQ(platform::versionInfoSize(write(
                  testenv::elfImage({{platform::kVersionSection, programBlock(), /*noBits=*/true}}),
                  "nobits")),
              0u);
}

TEST_F(VersionFile, EveryTruncationOfAFileIsReadSafely) {
    for (bool wide : {true, false}) {
        const Bytes whole = testenv::elfWithVersionBlock(programBlock(), {wide, false});
        for (std::size_t n = 0; n < whole.size(); ++n) {
            const std::string path =
                write(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)));
            // The section table is last: any cut loses it.
            EXPECT_EQ(platform::versionInfoSize(path), 0u) << wide << " " << n;
        }
    }
}

// Offsets into the 64-bit little-endian image of elfWithVersionBlock.
void put(Bytes& b, std::size_t at, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TEST_F(VersionFile, HostileHeadersAndSectionsAreRejected) {
    const Bytes good = testenv::elfWithVersionBlock(programBlock());
    ASSERT_NE(platform::versionInfoSize(write(good)), 0u);
    const std::uint64_t table =
        good[offsetof(Elf64_Ehdr, e_shoff)] | good[offsetof(Elf64_Ehdr, e_shoff) + 1] << 8;
    const std::size_t versionEntry =
        table + 2 * sizeof(Elf64_Shdr);  // after the empty one and .text

    struct Damage {
        const char* what;
        std::size_t at;
        std::uint64_t value;
        int size;
    };
    const Damage damages[] = {
        {"section table past the end", offsetof(Elf64_Ehdr, e_shoff), ~0ull, 8},
        {"section table wrapping around", offsetof(Elf64_Ehdr, e_shoff), ~0ull - 10, 8},
        {"entries too small", offsetof(Elf64_Ehdr, e_shentsize), 8, 2},
        {"entries too large for the file", offsetof(Elf64_Ehdr, e_shentsize), 0xFFFF, 2},
        {"more sections than the file holds", offsetof(Elf64_Ehdr, e_shnum), 0xFFFE, 2},
        {"no sections and no extended count", offsetof(Elf64_Ehdr, e_shnum), 0, 2},
        {"names' section out of range", offsetof(Elf64_Ehdr, e_shstrndx), 40, 2},
        {"unknown class", EI_CLASS, 7, 1},
        {"unknown byte order", EI_DATA, 9, 1},
        {"section past the end", versionEntry + offsetof(Elf64_Shdr, sh_offset), good.size() + 1,
         8},
        {"section longer than the file", versionEntry + offsetof(Elf64_Shdr, sh_size), ~0ull, 8},
        {"name outside the names", versionEntry + offsetof(Elf64_Shdr, sh_name), 0xFFFFFFF0, 4},
    };
    for (const Damage& d : damages) {
        Bytes bad = good;
        put(bad, d.at, d.value, d.size);
        EXPECT_EQ(platform::versionInfoSize(write(bad)), 0u) << d.what;
        Bytes buffer(4096);
        EXPECT_FALSE(platform::readVersionInfo(write(bad), buffer)) << d.what;
    }
}

TEST_F(VersionFile, ABlockClaimingMoreThanItsSectionIsRejected) {
    Bytes block = programBlock();
    put(block, 4, block.size() + 1, 4);
    EXPECT_EQ(platform::versionInfoSize(write(testenv::elfWithVersionBlock(block))), 0u);
}

}  // namespace
