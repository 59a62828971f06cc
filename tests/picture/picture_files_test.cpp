#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "picture/engine/picture_files.h"
#include "platform/folders.h"
#include "tests/picture/picture_test_support.h"

using namespace pictavo;
using picturetest::MessageRecorder;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes pattern(std::size_t n) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return b;
}

Bytes readBytes(const std::string& path) {
    std::string s = testenv::readFile(path);
    return Bytes(s.begin(), s.end());
}

}  // namespace

TEST(PictureFiles, TheTemporaryFileIsANewEmptyFileWithThePrefixNew) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    std::string a = makeTempPictureFile();
    std::string b = makeTempPictureFile();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(platform::parentFolder(a), platform::tempFolder());
    EXPECT_EQ(platform::fileNameOf(a).rfind("NEW", 0), 0u);
    EXPECT_EQ(std::filesystem::file_size(a), 0u);
    EXPECT_TRUE(messages.all().empty());
}

TEST(PictureFiles, WithoutATempFolderTheUserIsToldAndTheNameStaysEmpty) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    const std::string gone = env.dir().path() + "/gone";
    ::setenv("TMPDIR", gone.c_str(), 1);
    EXPECT_EQ(makeTempPictureFile(), "");
    ::setenv("TMPDIR", std::string(600, 'x').c_str(), 1);
    EXPECT_EQ(makeTempPictureFile(), "");
    EXPECT_EQ(messages.texts(), (std::vector<std::string>{"Cannot get a unique temp file name\n" +
                                                              gone + ": No such file or directory",
                                                          "Cannot get the temp path"}));

    // The picture then cannot be stored.
    Bytes jpeg = pattern(10);
    EXPECT_FALSE(storePicture("", nullptr, jpeg.data(), jpeg.size()));
    auto last = messages.all().back();
    EXPECT_EQ(last.text, "Cannot create temp. file");
    EXPECT_EQ(last.caption, "Error");
    EXPECT_TRUE(last.topmost);
}

TEST(PictureFiles, AJpegPictureIsStoredAsSentAndAGreyOneAsACompleteBmp) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    std::string temp = makeTempPictureFile();
    Bytes jpeg = picturetest::smallJpeg();
    ASSERT_TRUE(storePicture(temp, nullptr, jpeg.data(), jpeg.size()));
    EXPECT_EQ(readBytes(temp), jpeg);

    BitmapInfo info = BitmapInfo::grey();
    info.width = 5;
    info.height = -2;
    Bytes rows = pattern(10);
    ASSERT_TRUE(storePicture(temp, &info, rows.data(), rows.size()));
    EXPECT_EQ(readBytes(temp), makeGreyBmp(info, rows.data(), rows.size()));
    EXPECT_TRUE(messages.all().empty());
}

TEST(PictureFiles, SavingAddsJpgOnlyToANameWithoutExtension) {
    testenv::IsolatedPorts env;
    std::string temp = makeTempPictureFile();
    Bytes jpeg = picturetest::smallJpeg();
    storePicture(temp, nullptr, jpeg.data(), jpeg.size());
    std::string dir = env.dir().path();
    EXPECT_EQ(saveNameFor(dir + "/picture", temp), dir + "/picture.jpg");
    EXPECT_EQ(saveNameFor(dir + "/picture.png", temp), dir + "/picture.png");
    EXPECT_EQ(saveNameFor(dir + "/v1.2/picture", temp), dir + "/v1.2/picture.jpg");

    BitmapInfo info = BitmapInfo::grey();
    Bytes rows = pattern(16);
    storePicture(temp, &info, rows.data(), rows.size());
    EXPECT_EQ(saveNameFor(dir + "/picture", temp), dir + "/picture.bmp");
}

TEST(PictureFiles, ASavedCopyIsTheTemporaryFileByteForByte) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    std::string temp = makeTempPictureFile();
    // Around the copy's chunk size: exactly one chunk (a second read returns nothing), one
    // more, and several.
    for (std::size_t size : {std::size_t(0), kCopyChunkSize - 1, kCopyChunkSize, kCopyChunkSize + 1,
                             3 * kCopyChunkSize + 5}) {
        Bytes data = pattern(size);
        ASSERT_TRUE(storePicture(temp, nullptr, data.data(), data.size()));
        std::string savedAs;
        std::string target = env.dir().file("copy" + std::to_string(size));
        ASSERT_TRUE(savePictureCopy(temp, target, &savedAs)) << size;
        EXPECT_EQ(savedAs, target + ".jpg");
        EXPECT_EQ(readBytes(savedAs), data) << size;
    }
    EXPECT_TRUE(messages.all().empty());
}

TEST(PictureFiles, SaveFailuresAreReportedAndNothingIsWritten) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    EXPECT_FALSE(savePictureCopy(env.dir().file("no-such-temp"), env.dir().file("out.jpg")));
    std::string temp = makeTempPictureFile();
    EXPECT_FALSE(savePictureCopy(temp, env.dir().file("no/such/folder/out.jpg")));
    auto texts = messages.texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], "Cannot open tmp file for reading");
    EXPECT_EQ(texts[1].rfind("Cannot open output file\n", 0), 0u) << texts[1];
    EXPECT_FALSE(std::filesystem::exists(env.dir().file("out.jpg")));
}

TEST(PictureFiles, ASaveOverAPictureThatFailsHalfWayKeepsTheOldPicture) {
    testenv::IsolatedPorts env;
    MessageRecorder messages;
    const std::string temp = makeTempPictureFile();
    const Bytes fresh = pattern(3 * kCopyChunkSize);
    ASSERT_TRUE(storePicture(temp, nullptr, fresh.data(), fresh.size()));
    const std::string target = env.dir().file("shelf.jpg");
    const Bytes old = pattern(1000);
    testenv::writeFile(target, std::string(old.begin(), old.end()));

    platform::failDurableWritesAfter(kCopyChunkSize + kCopyChunkSize / 2);  // in the 2nd chunk
    EXPECT_FALSE(savePictureCopy(temp, target));
    platform::failDurableWritesAfter(-1);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"Cannot write output file\nCannot write " +
                                                         target + ": No space left on device"});
    EXPECT_EQ(readBytes(target), old);
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(env.dir().path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"config", "ports", "shelf.jpg", "tmp"}));

    ASSERT_TRUE(savePictureCopy(temp, target));
    EXPECT_EQ(readBytes(target), fresh);
}
