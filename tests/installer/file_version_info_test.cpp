#include "installer/engine/file_version_info.h"

#include <gtest/gtest.h>

#include "platform/version.h"
#include "tests/support/test_env.h"
#include "tests/support/version_files.h"

namespace {

constexpr std::uint32_t kProjectVersionMS = VELTRIX_VERSION_MAJOR << 16 | VELTRIX_VERSION_MINOR;
constexpr std::uint32_t kProjectVersionLS = VELTRIX_VERSION_PATCH << 16;

TEST(FileVersionInfo, AModuleBuiltHereCarriesTheProjectsVersionAndTexts) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(std::string(TEST_COMPONENT_MODULE)));
    const platform::FixedFileInfo& f = info.GetFixedFileInfo();
    EXPECT_EQ(f.signature, 0xFEEF04BDu);
    EXPECT_EQ(f.fileVersionMS, kProjectVersionMS);
    EXPECT_EQ(f.fileVersionLS, kProjectVersionLS);
    EXPECT_EQ(f.productVersionMS, kProjectVersionMS);
    EXPECT_EQ(f.fileType, platform::kFileTypeModule);
    EXPECT_EQ(info.GetCompanyName(), "Veltrix");
    EXPECT_EQ(info.GetFileDescription(), "Counting component for the host's tests");
    EXPECT_EQ(info.GetFileVersion(), VELTRIX_VERSION);
    EXPECT_EQ(info.GetProductVersion(), VELTRIX_VERSION);
    EXPECT_EQ(info.GetInternalName(), "veltrix_test_component");
    EXPECT_EQ(info.GetOriginalFileName(), "libveltrix_test_component.so");
    EXPECT_EQ(info.GetProductName(), "Veltrix tools");
    EXPECT_EQ(info.GetComments(), "Veltrix.Counting {6B0E5C1A-3F2D-4E7B-9A18-C4D2E0F1A357}");
    EXPECT_FALSE(info.GetLegalCopyright().empty());
    EXPECT_EQ(info.GetSpecialBuild(), "");
}

TEST(FileVersionInfo, TheProgramItselfAndFenwaldAreApplications) {
    CFileVersionInfo self;
    ASSERT_TRUE(self.Create());
    EXPECT_EQ(self.GetFileDescription(), "Tests of fenwald's engine");
    EXPECT_EQ(self.GetFixedFileInfo().fileType, platform::kFileTypeApplication);

    CFileVersionInfo fenwald;
    ASSERT_TRUE(fenwald.Create(std::string(FENWALD_BINARY)));
    EXPECT_EQ(fenwald.GetOriginalFileName(), "fenwald");
    EXPECT_EQ(fenwald.GetFileVersion(), VELTRIX_VERSION);
    EXPECT_EQ(fenwald.GetFixedFileInfo().fileType, platform::kFileTypeApplication);
}

class VersionFiles : public ::testing::Test {
protected:
    std::string file(const std::vector<std::uint8_t>& block) {
        const std::string path = dir_.file("module" + std::to_string(++count_) + ".so");
        testenv::writeBytes(path, testenv::elfWithVersionBlock(block));
        return path;
    }
    std::string fileVersionFor(const std::string& locale,
                               const std::vector<testenv::TableText>& tables) {
        testenv::UserLocale user(locale);
        CFileVersionInfo info;
        EXPECT_TRUE(info.Create(file(testenv::versionBlock(tables))));
        return info.GetFileVersion();
    }
    testenv::ScratchDir dir_;
    int count_ = 0;
};

TEST_F(VersionFiles, ABritishUserReadsUsEnglishFromDutchAndUsEnglish) {
    EXPECT_EQ(
        fileVersionFor("en_GB.UTF-8", {{0x0413, 0x04B0, "dutch"}, {0x0409, 0x04B0, "english"}}),
        "english");
}

TEST_F(VersionFiles, TheUsersOwnLanguageComesFirst) {
    EXPECT_EQ(
        fileVersionFor("nl_NL.UTF-8", {{0x0409, 0x04B0, "english"}, {0x0413, 0x04E4, "dutch"}}),
        "dutch");
    EXPECT_EQ(fileVersionFor("nl_BE", {{0x0409, 0x04B0, "english"}, {0x0413, 0x04E4, "dutch"}}),
              "dutch");
}

TEST_F(VersionFiles, WithoutTheUsersLanguageTheFirstTranslationIsRead) {
    EXPECT_EQ(fileVersionFor("de_DE", {{0x040C, 0x04B0, "french"}, {0x0410, 0x04B0, "italian"}}),
              "french");
}

TEST(ChooseTranslation, FirstMatchOfTheRulesInTheirOrder) {
    auto choose = [](std::vector<std::uint16_t> languages, std::uint16_t user) {
        std::vector<std::uint32_t> list;
        for (std::uint16_t l : languages) list.push_back(platform::translationOf(l, 0x04B0));
        return CFileVersionInfo::ChooseTranslation(list, user);
    };
    EXPECT_EQ(choose({0x0809, 0x0409, 0x0C09}, 0x0C09), 2u);  // the language itself
    EXPECT_EQ(choose({0x0413, 0x0409}, 0x0809), 1u);          // its primary language
    EXPECT_EQ(choose({0x0407, 0x0400, 0x0000}, 0x0411), 2u);  // neutral before primary neutral
    EXPECT_EQ(choose({0x0407, 0x0400}, 0x0411), 1u);
    EXPECT_EQ(choose({0x0407, 0x0809, 0x0009}, 0x0411), 2u);  // 9 before English by primary
    EXPECT_EQ(choose({0x0407, 0x0809}, 0x0411), 1u);
    EXPECT_EQ(choose({0x0407, 0x040C}, 0x0411), 0u);  // the first
    EXPECT_EQ(choose({}, 0x0411), 0u);
    // The code page plays no part.
    EXPECT_EQ(CFileVersionInfo::ChooseTranslation(
                  std::vector<std::uint32_t>{platform::translationOf(0x0409, 0x0000),
                                             platform::translationOf(0x0413, 0xFFFF)},
                  0x0413),
              1u);
}

TEST_F(VersionFiles, WithoutATranslationListTheFixedBlockIsReadButNoText) {
    testenv::UserLocale user("en_US.UTF-8");
    CFileVersionInfo info;
    ASSERT_TRUE(
        info.Create(file(testenv::versionBlock({{0x0409, 0x04B0, "1.2.3"}}, /*withList=*/false))));
    EXPECT_EQ(info.GetFixedFileInfo().signature, platform::kFixedFileInfoSignature);
    EXPECT_EQ(info.GetFileVersion(), "");
    EXPECT_EQ(info.GetCompanyName(), "");
}

TEST_F(VersionFiles, AFailedCreateLeavesNothingOfTheLastOne) {
    CFileVersionInfo info;
    ASSERT_TRUE(info.Create(std::string(TEST_COMPONENT_MODULE)));
    ASSERT_FALSE(info.GetFileVersion().empty());

    std::vector<std::uint8_t> broken =
        testenv::elfWithVersionBlock(testenv::versionBlock({{0x0409, 0x04B0, "9"}}));
    broken.resize(broken.size() / 2);
    const std::string path = dir_.file("broken.so");
    testenv::writeBytes(path, broken);
    EXPECT_FALSE(info.Create(path));
    EXPECT_EQ(info.GetFileVersion(), "");
    EXPECT_EQ(info.GetCompanyName(), "");
    EXPECT_EQ(info.GetFixedFileInfo(), platform::FixedFileInfo{});

    EXPECT_FALSE(info.Create(dir_.file("missing.so")));
    EXPECT_FALSE(info.Create(dir_.path()));
}

}  // namespace
