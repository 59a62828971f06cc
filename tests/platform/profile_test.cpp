#include <gtest/gtest.h>

#include "platform/profile.h"
#include "tests/support/test_env.h"

namespace profile = platform::profile;

TEST(Profile, WriteCreatesFileAndSectionAndReadsMissingKeysAsDefault) {
    testenv::ScratchDir dir;
    std::string file = dir.file("new.ini");
    EXPECT_EQ(profile::readString(file, "Main", "port", "1"), "1");
    EXPECT_FALSE(profile::read(file, "Main", "port"));
    ASSERT_TRUE(profile::write(file, "Main", "port", "3"));
    ASSERT_TRUE(profile::write(file, "Size", "startx", "0"));
    ASSERT_TRUE(profile::write(file, "Main", "size", "104"));
    EXPECT_EQ(testenv::readFile(file), "[Main]\nport=3\nsize=104\n[Size]\nstartx=0\n");
    EXPECT_EQ(profile::readString(file, "Main", "missing", "dflt"), "dflt");
}

TEST(Profile, SectionsAndKeysMatchWithoutCaseAndOtherLinesSurvive) {
    testenv::ScratchDir dir;
    std::string file = dir.file("kept.ini");
    testenv::writeFile(file,
                       "; settings of the picture tool\r\n"
                       "[MAIN]\r\n"
                       "  Port = 7 \r\n"
                       "Extra=kept\r\n"
                       "\r\n"
                       "[Other]\r\n"
                       "port=99\r\n");
    EXPECT_EQ(profile::readString(file, "main", "PORT", ""), "7");
    ASSERT_TRUE(profile::write(file, "Main", "port", "12"));
    ASSERT_TRUE(profile::write(file, "main", "NewKey", "x"));
    EXPECT_EQ(testenv::readFile(file),
              "; settings of the picture "
              "tool\n[MAIN]\nport=12\nExtra=kept\nNewKey=x\n\n[Other]\nport=99\n");
    EXPECT_EQ(profile::readString(file, "OTHER", "Port", ""), "99");
}

TEST(Profile, ValuesReadBackExactlyAsWritten) {
    testenv::ScratchDir dir;
    std::string file = dir.file("exact.ini");
    for (std::string v : {"[OOUQ1Q0Q0Q2Q1", "  padded  ", "\"quoted\"", "", "a=b;c", "'x'"}) {
        ASSERT_TRUE(profile::write(file, "Main", "CameraSetup", v));
        EXPECT_EQ(profile::readString(file, "Main", "CameraSetup", "?"), v);
    }
    EXPECT_FALSE(profile::write(file, "Main", "bad", "two\nlines"));
}

TEST(Profile, NamesNoReadCouldFindAreRefusedAndTheFileIsLeftAlone) {
    testenv::ScratchDir dir;
    std::string file = dir.file("names.ini");
    const std::string before = "[Main]\nport=3\n";
    testenv::writeFile(file, before);
    for (std::string key : {"a=b", ";port", "[port", "port ", " port", "two\nlines", "cr\r"})
        EXPECT_FALSE(profile::write(file, "Main", key, "1")) << key;
    for (std::string section : {"Main ", " Main", "Ma]in", "Ma\nin", "\t"})
        EXPECT_FALSE(profile::write(file, section, "port", "1")) << section;
    EXPECT_EQ(testenv::readFile(file), before);
    // What is refused never reads as something else either.
    EXPECT_FALSE(profile::read(file, "Main", "port "));
    // A key may still hold marks that do not end it, and a section brackets.
    for (std::string key : {"a;b", "a[b]", "x\"y"}) {
        ASSERT_TRUE(profile::write(file, "Main", key, "v"));
        EXPECT_EQ(profile::read(file, "Main", key), "v") << key;
    }
    ASSERT_TRUE(profile::write(file, "[Outer", "k", "w"));
    EXPECT_EQ(profile::read(file, "[Outer", "k"), "w");
}
