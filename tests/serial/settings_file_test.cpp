#include <gtest/gtest.h>

#include <filesystem>

#include "serial/settings_file.h"
#include "tests/support/test_env.h"

TEST(SettingsFile, MissingKeysAreWrittenBackWithTheirDefaults) {
    testenv::ScratchDir dir;
    serial::SettingsFile f;
    f.SetPath(dir.path(), "tool.ini");
    EXPECT_EQ(f.path(), dir.file("tool.ini"));
    EXPECT_EQ(f.GetInt("Main", "port", 1), 1);
    EXPECT_EQ(f.GetString("Main", "CameraSetup", "[OOUQ1Q0Q0Q2Q1"), "[OOUQ1Q0Q0Q2Q1");
    EXPECT_EQ(testenv::readFile(f.path()), "[Main]\nport=1\nCameraSetup=[OOUQ1Q0Q0Q2Q1\n");
    EXPECT_TRUE(f.WriteInt("Main", "port", 12));
    EXPECT_EQ(f.GetInt("main", "PORT", 1), 12);
}

TEST(SettingsFile, NumbersAreTheLeadingDigits) {
    testenv::ScratchDir dir;
    serial::SettingsFile f;
    f.SetPath(dir.path(), "tool.ini");
    testenv::writeFile(f.path(), "[Main]\na=42abc\nb=abc\nc=-5\nd=99999999999\ne=\n");
    EXPECT_EQ(f.GetInt("Main", "a", 7), 42);
    EXPECT_EQ(f.GetInt("Main", "b", 7), 0);
    EXPECT_EQ(f.GetInt("Main", "c", 7), 0);
    EXPECT_EQ(f.GetInt("Main", "d", 7), 2147483647);
    EXPECT_EQ(f.GetInt("Main", "e", 7), 7);  // empty counts as missing
    EXPECT_EQ(f.GetString("Main", "e", "x"), "7");
}

TEST(SettingsFile, LongValuesAreCutAtTheBuffer) {
    testenv::ScratchDir dir;
    serial::SettingsFile f;
    f.SetPath(dir.path(), "tool.ini");
    f.WriteString("Main", "long", std::string(400, 'Q'));
    EXPECT_EQ(f.GetString("Main", "long", ""), std::string(serial::SettingsFile::kValueLimit, 'Q'));
}

TEST(SettingsFile, ReadOnlyGivesDefaultsAndNeverWrites) {
    testenv::ScratchDir dir;
    serial::SettingsFile f;
    f.setReadOnly(true);
    f.SetPath(dir.path(), "tool.ini");
    EXPECT_EQ(f.GetInt("Main", "port", 4), 4);
    EXPECT_EQ(f.GetString("Main", "CameraSetup", "x"), "x");
    EXPECT_FALSE(f.WriteInt("Main", "port", 12));
    EXPECT_FALSE(f.lastResult());
    EXPECT_FALSE(std::filesystem::exists(f.path()));

    testenv::writeFile(f.path(), "[Main]\nport=7\n");
    EXPECT_EQ(f.GetInt("Main", "port", 4), 7);
    EXPECT_EQ(f.GetInt("Main", "size", 104), 104);
    EXPECT_EQ(testenv::readFile(f.path()), "[Main]\nport=7\n");
}
