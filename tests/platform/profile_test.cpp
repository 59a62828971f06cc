#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/folders.h"
#include "platform/profile.h"
#include "tests/support/child_program.h"
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

namespace {

constexpr char kWriterFile[] = "VELTRIX_TEST_PROFILE_FILE";
constexpr char kWriterKeys[] = "VELTRIX_TEST_PROFILE_KEYS";
constexpr int kSaves = 150;

}  // namespace

// Run by the next test as a program of its own: saves kSaves times, each save a key of its own
// and a key both programs write, once the file "go" beside the settings is there.
TEST(ProfileWriter, DISABLED_SavesItsKeys) {
    const char* file = std::getenv(kWriterFile);
    const char* keys = std::getenv(kWriterKeys);
    if (!file || !keys) GTEST_SKIP() << "run by TwoProgramsSavingAtOnceKeepBothTheirKeys";
    ASSERT_TRUE(testenv::eventually(
        [&] { return platform::fileExists(platform::parentFolder(file) + "/go"); },
        std::chrono::seconds(30)));
    for (int i = 0; i < kSaves; ++i) {
        platform::SystemError why;
        ASSERT_TRUE(profile::write(
            file, {{keys, "key" + std::to_string(i), std::to_string(i)}, {"Main", "last", keys}},
            &why))
            << why.text;
    }
}

TEST(Profile, TwoProgramsSavingAtOnceKeepBothTheirKeys) {
    testenv::ScratchDir dir, logsA, logsB;
    const std::string file = dir.file("pictavo.ini");
    const std::string self = platform::executablePath();
    const std::vector<std::string> args = {"--gtest_also_run_disabled_tests",
                                           "--gtest_filter=ProfileWriter.DISABLED_SavesItsKeys"};
    testenv::ChildProgram a(self, logsA), b(self, logsB);
    ::setenv(kWriterFile, file.c_str(), 1);
    ::setenv(kWriterKeys, "A", 1);
    a.start(args);
    ::setenv(kWriterKeys, "B", 1);
    b.start(args);
    ::unsetenv(kWriterFile);
    ::unsetenv(kWriterKeys);
    testenv::writeFile(dir.file("go"), "");
    const testenv::Outcome ra = a.wait(), rb = b.wait();
    ASSERT_EQ(ra.status, 0) << ra.out << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.out << rb.err;
    for (const char* section : {"A", "B"})
        for (int i = 0; i < kSaves; ++i)
            EXPECT_EQ(profile::read(file, section, "key" + std::to_string(i)), std::to_string(i))
                << section << i;
    const auto last = profile::read(file, "Main", "last");
    EXPECT_TRUE(last == "A" || last == "B");
}
