#include "installer/engine/component_versions.h"

#include <gtest/gtest.h>

#include "platform/version.h"
#include "tests/support/test_env.h"
#include "tests/support/version_files.h"

namespace {

constexpr const char* kGantryClassId = "{E91B52ED-8E44-11D5-8369-8555C730F863}";

class ComponentFiles : public ::testing::Test {
protected:
    ComponentFiles() : registry_(dir_.file("components.ini")) {}

    std::string module(const std::vector<std::uint8_t>& block) {
        const std::string path = dir_.file("module" + std::to_string(++count_) + ".so");
        testenv::writeBytes(path, testenv::elfWithVersionBlock(block));
        return path;
    }

    testenv::ScratchDir dir_;
    platform::ComponentRegistry registry_;
    int count_ = 0;
};

TEST_F(ComponentFiles, TheFileIsFoundThroughCurVerClsidAndInprocServer32) {
    registry_.registerComponent("Gantry.Gantry", kGantryClassId, "/opt/fenwald/libgantry.so");
    std::string path = "untouched";
    ASSERT_TRUE(fenwald::FindComponentFile("Gantry.Gantry", path, registry_));
    EXPECT_EQ(path, "/opt/fenwald/libgantry.so");
}

TEST_F(ComponentFiles, AnyMissingKeyGivesFalseAndLeavesThePathAlone) {
    std::string path = "untouched";
    EXPECT_FALSE(
        fenwald::FindComponentFile("Gantry.Gantry", path, registry_));  // no registry at all

    registry_.setDefaultValue("Gantry.Gantry\\CLSID", kGantryClassId);  // but no CurVer
    EXPECT_FALSE(fenwald::FindComponentFile("Gantry.Gantry", path, registry_));

    registry_.setDefaultValue("Gantry.Gantry\\CurVer", "Gantry.Gantry.1");
    EXPECT_FALSE(fenwald::FindComponentFile("Gantry.Gantry", path, registry_));

    registry_.setDefaultValue("Gantry.Gantry.1\\CLSID", kGantryClassId);
    EXPECT_FALSE(fenwald::FindComponentFile("Gantry.Gantry", path, registry_));
    EXPECT_EQ(path, "untouched");

    registry_.setDefaultValue(std::string("CLSID\\") + kGantryClassId + "\\InprocServer32",
                              "/x.so");
    EXPECT_TRUE(fenwald::FindComponentFile("Gantry.Gantry", path, registry_));
    EXPECT_EQ(path, "/x.so");
}

TEST_F(ComponentFiles, AModuleBuiltHereHasTheProjectsVersion) {
    EXPECT_EQ(fenwald::GetComponentVersion(TEST_COMPONENT_MODULE), VELTRIX_VERSION);
}

TEST_F(ComponentFiles, TheOneTranslationOfTheListIsRead) {
    testenv::UserLocale user("en_US.UTF-8");
    EXPECT_EQ(
        fenwald::GetComponentVersion(module(testenv::versionBlock({{0x0413, 0x04E4, "3.1 NL"}}))),
        "3.1 NL");
}

TEST_F(ComponentFiles, WithoutAListTheUsersLanguageAndCodePage04B0AreRead) {
    const std::string path = module(testenv::versionBlock(
        {{0x0409, 0x04B0, "us"}, {0x0413, 0x04B0, "nl"}, {0x0413, 0x04E4, "nl 1252"}},
        /*withList=*/false));
    {
        testenv::UserLocale user("nl_NL.UTF-8");
        EXPECT_EQ(fenwald::GetComponentVersion(path), "nl");
    }
    {
        testenv::UserLocale user("C");
        EXPECT_EQ(fenwald::GetComponentVersion(path), "us");
    }
    {
        testenv::UserLocale user("de_DE");  // no German table, and no guessing further
        EXPECT_EQ(fenwald::GetComponentVersion(path), std::nullopt);
    }
}

TEST_F(ComponentFiles, AListOfTwoIsTreatedAsNoList) {
    testenv::UserLocale user("nl_NL");
    const std::string path =
        module(testenv::versionBlock({{0x0409, 0x04E4, "us 1252"}, {0x0413, 0x04B0, "nl"}}));
    EXPECT_EQ(fenwald::GetComponentVersion(path), "nl");
}

TEST_F(ComponentFiles, TheVersionTextIsCutAt255Characters) {
    const std::string longText(300, '7');
    EXPECT_EQ(
        fenwald::GetComponentVersion(module(testenv::versionBlock({{0x0409, 0x04B0, longText}}))),
        longText.substr(0, 255));
}

TEST_F(ComponentFiles, FilesWithoutAVersionHaveNone) {
    EXPECT_EQ(fenwald::GetComponentVersion(dir_.file("missing.so")), std::nullopt);
    const std::string plain = dir_.file("plain.so");
    testenv::writeBytes(plain, testenv::elfImage({{".text", {0xC3}}}));
    EXPECT_EQ(fenwald::GetComponentVersion(plain), std::nullopt);
    auto cut = testenv::elfWithVersionBlock(testenv::versionBlock({{0x0409, 0x04B0, "1"}}));
    cut.resize(cut.size() - 1);
    testenv::writeBytes(plain, cut);
    EXPECT_EQ(fenwald::GetComponentVersion(plain), std::nullopt);
}

}  // namespace
