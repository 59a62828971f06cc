#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/folders.h"
#include "tests/support/test_env.h"

TEST(Folders, UniqueTempFilesAreCreatedWithTheirPrefix) {
    testenv::ScratchDir dir;
    auto a = platform::createUniqueTempFile(dir.path(), "NEW");
    auto b = platform::createUniqueTempFile(dir.path(), "NEW");
    ASSERT_TRUE(a && b);
    EXPECT_NE(*a, *b);
    EXPECT_EQ(platform::fileNameOf(*a).rfind("NEW", 0), 0u);
    EXPECT_TRUE(platform::fileExists(*a));
    platform::SystemError err;
    EXPECT_FALSE(platform::createUniqueTempFile(dir.file("missing"), "NEW", &err));
    EXPECT_EQ(err.windowsCode(), 2);
}

TEST(Folders, FoldersFollowTheEnvironment) {
    testenv::IsolatedPorts env;
    EXPECT_EQ(platform::configFolder(), env.dir().file("config"));
    EXPECT_EQ(platform::tempFolder(), env.dir().file("tmp"));
    std::string deep = env.dir().file("a/b/c");
    EXPECT_TRUE(platform::createDirectories(deep));
    EXPECT_TRUE(platform::isDirectory(deep));
}

TEST(Folders, OnlyARegularFileIsOpenedForReading) {
    testenv::ScratchDir dir;
    const std::string file = dir.file("a.txt");
    testenv::writeFile(file, "abc");
    const std::string link = dir.file("link");
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    for (const std::string& path : {file, link}) {
        std::FILE* f = platform::openRegularFileStream(path);
        ASSERT_NE(f, nullptr) << path;
        char buf[8] = {};
        EXPECT_EQ(std::fread(buf, 1, sizeof buf, f), 3u);  // blocking again: reads to the end
        EXPECT_STREQ(buf, "abc");
        std::fclose(f);
    }

    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Refusal {
        std::string path;
        int code;
        std::string text;
    };
    for (const Refusal& r : {Refusal{fifo, EINVAL, "is not a regular file"},
                             Refusal{"/dev/null", EINVAL, "is not a regular file"},
                             Refusal{dir.path(), EISDIR, std::strerror(EISDIR)},
                             Refusal{dir.file("missing"), ENOENT, std::strerror(ENOENT)}}) {
        platform::SystemError err;
        EXPECT_EQ(platform::openRegularFile(r.path, &err), -1) << r.path;
        EXPECT_EQ(err.osCode, r.code) << r.path;
        EXPECT_EQ(err.text, r.text) << r.path;
        EXPECT_EQ(platform::openRegularFileStream(r.path), nullptr) << r.path;
    }
}
