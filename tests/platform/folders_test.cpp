#include <gtest/gtest.h>

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
