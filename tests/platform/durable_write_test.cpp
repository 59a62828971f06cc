#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "platform/folders.h"
#include "platform/profile.h"
#include "tests/support/test_env.h"

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// The seam that fails writes, off again however the test ends.
struct FailingWrites {
    explicit FailingWrites(long long limit) { platform::failDurableWritesAfter(limit); }
    ~FailingWrites() { platform::failDurableWritesAfter(-1); }
};

}  // namespace

TEST(DurableWrite, AFullDiskLeavesThePreviousFileAndNoTemporaryOne) {
    testenv::SmallDisk disk(64 * 1024);
    if (!disk.available()) GTEST_SKIP() << disk.why();
    const std::string file = disk.file("pictavo.ini");
    const std::string before = "[Main]\nport=3\n";
    ASSERT_TRUE(platform::replaceFileContents(file, before));

    platform::SystemError why;
    EXPECT_FALSE(platform::replaceFileContents(file, std::string(256 * 1024, 'x'), &why));
    EXPECT_EQ(why.osCode, ENOSPC);
    EXPECT_EQ(platform::cannotWriteText(file, why),
              "Cannot write " + file + ": No space left on device");
    EXPECT_EQ(testenv::readFile(file), before);
    EXPECT_EQ(namesIn(disk.path()), std::vector<std::string>{"pictavo.ini"});

    // What fits is written.
    EXPECT_TRUE(platform::replaceFileContents(file, "[Main]\nport=4\n", &why));
    EXPECT_EQ(testenv::readFile(file), "[Main]\nport=4\n");
}

TEST(DurableWrite, AWriteFailingAtAByteKeepsThePreviousFileWhereverItFails) {
    testenv::ScratchDir dir;
    const std::string file = dir.file("kolvane.log");
    const std::string before(3000, 'o');
    ASSERT_TRUE(platform::replaceFileContents(file, before));
    const std::string after(5000, 'n');
    // At the first byte, inside the text, at its last byte; in one write or in pieces.
    for (long long limit : {0LL, 1LL, 2500LL, 4999LL}) {
        FailingWrites full(limit);
        platform::SystemError why;
        EXPECT_FALSE(platform::replaceFileContents(file, after, &why)) << limit;
        EXPECT_EQ(why.osCode, ENOSPC) << limit;

        platform::failDurableWritesAfter(limit);
        platform::DurableFile pieces;
        ASSERT_TRUE(pieces.begin(file));
        bool written = true;
        for (std::size_t at = 0; written && at < after.size(); at += 1000)
            written = pieces.write(after.data() + at, 1000, &why);
        EXPECT_FALSE(written && pieces.commit(&why)) << limit;

        EXPECT_EQ(testenv::readFile(file), before) << limit;
        EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"kolvane.log"}) << limit;
    }
    ASSERT_TRUE(platform::replaceFileContents(file, after));
    EXPECT_EQ(testenv::readFile(file), after);
}

TEST(DurableWrite, AReadOnlyFolderIsRefusedWithItsReasonAndTheFileKept) {
    // Root writes into any folder whatever its mode: a read-only file system stops it.
    testenv::SmallDisk disk(64 * 1024);
    testenv::ScratchDir plain;
    const bool root = ::geteuid() == 0;
    if (root && !disk.available()) GTEST_SKIP() << disk.why();
    const std::string folder = root ? disk.path() : plain.path();
    const std::string file = platform::joinPath(folder, "fenwald.ini");
    ASSERT_TRUE(platform::profile::write(file, "Main", "port", "2"));
    if (root)
        ASSERT_TRUE(disk.remountReadOnly());
    else
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

    platform::SystemError why;
    EXPECT_FALSE(platform::profile::write(file, "Main", "port", "5", &why));
    EXPECT_EQ(why.osCode, root ? EROFS : EACCES);
    EXPECT_EQ(platform::cannotWriteText(file, why),
              "Cannot write " + file + (root ? ": Read-only file system" : ": Permission denied"));
    EXPECT_EQ(testenv::readFile(file), "[Main]\nport=2\n");
    if (!root) ::chmod(folder.c_str(), 0755);
}

TEST(DurableWrite, ASymbolicLinkKeepsNamingItsFileWhichKeepsItsMode) {
    testenv::ScratchDir dir;
    std::filesystem::create_directory(dir.file("real"));
    const std::string real = dir.file("real/pictavo.ini");
    testenv::writeFile(real, "[Main]\nport=1\n");
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    const std::string link = dir.file("pictavo.ini");
    std::filesystem::create_symlink("real/pictavo.ini", link);

    ASSERT_TRUE(platform::profile::write(link, "Main", "port", "7"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(std::filesystem::read_symlink(link), "real/pictavo.ini");
    EXPECT_EQ(testenv::readFile(real), "[Main]\nport=7\n");
    EXPECT_EQ(modeOf(real), 0640u);

    // A link to a file not there yet makes that file.
    const std::string dangling = dir.file("fenwald.ini");
    std::filesystem::create_symlink(dir.file("real/fenwald.ini"), dangling);
    ASSERT_TRUE(platform::replaceFileContents(dangling, "[Main]\n"));
    EXPECT_TRUE(std::filesystem::is_symlink(dangling));
    EXPECT_EQ(testenv::readFile(dir.file("real/fenwald.ini")), "[Main]\n");
    // Whatever the umask gives a new file, never mkstemp's 0600 alone.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    EXPECT_EQ(modeOf(dir.file("real/fenwald.ini")), 0666u & ~mask);
    EXPECT_EQ(namesIn(dir.file("real")),
              (std::vector<std::string>{"fenwald.ini", "pictavo.ini", "pictavo.ini.lock"}));
}

TEST(DurableWrite, ThreadsReplacingOneFileNeverMixTheirTexts) {
    testenv::ScratchDir dir;
    const std::string file = dir.file("ports");
    const std::string texts[2] = {std::string(20000, 'a'), std::string(30000, 'b')};
    bool ok[2] = {true, true};
    std::thread writers[2];
    for (int t = 0; t < 2; ++t)
        writers[t] = std::thread([&, t] {
            for (int i = 0; i < 100; ++i)
                ok[t] = platform::replaceFileContents(file, texts[t]) && ok[t];
        });
    for (auto& w : writers) w.join();
    EXPECT_TRUE(ok[0] && ok[1]);
    const std::string now = testenv::readFile(file);
    EXPECT_TRUE(now == texts[0] || now == texts[1]) << now.size();
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"ports"});
}

TEST(DurableWrite, ANewFileTakesOnlyAFreeName) {
    testenv::ScratchDir dir;
    testenv::writeFile(dir.file("firmware.bin"), "old");
    platform::DurableFile file;
    ASSERT_TRUE(file.beginNew(dir.path()));
    ASSERT_TRUE(file.write("new", 3));
    platform::SystemError why;
    EXPECT_FALSE(file.commitNew(dir.file("firmware.bin"), &why));
    EXPECT_EQ(why.osCode, EEXIST);
    ASSERT_TRUE(file.commitNew(dir.file("firmware (1).bin"), &why)) << why.text;
    EXPECT_EQ(testenv::readFile(dir.file("firmware.bin")), "old");
    EXPECT_EQ(testenv::readFile(dir.file("firmware (1).bin")), "new");
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"firmware (1).bin", "firmware.bin"}));
}
