#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "installer/engine/configuration_file.h"
#include "tests/support/test_env.h"

using namespace fenwald;

namespace {

std::span<const std::uint8_t> bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

ConfigurationLoad check(const std::string& content) {
    return checkConfiguration(bytes(content));
}

const ConfigurationMessage kNotValid{" Error", "Configuration file is not valid.",
                                     platform::Report::Severity::Error};
const ConfigurationMessage kEmpty{" Error", "Configuration file is empty.",
                                  platform::Report::Severity::Error};

}  // namespace

TEST(ConfigurationFile, TheConfigurationIsWhatFollowsThePrefixUpToTheFirstNul) {
    auto plain = check("Config=ABC");
    ASSERT_TRUE(plain.ok);
    EXPECT_EQ(plain.configuration, "ABC");
    EXPECT_FALSE(plain.message);

    // What an editor leaves at the end is not part of it; bytes above ASCII are.
    EXPECT_EQ(check("Config=A1 B2 \r\n").configuration, "A1 B2");
    EXPECT_EQ(check("Config=AB\n\n\t ").configuration, "AB");
    EXPECT_EQ(check("Config=\xE4\xFF=x").configuration, "\xE4\xFF=x");
    EXPECT_EQ(check(std::string("Config=AB\0CD", 12)).configuration, "AB");
    EXPECT_EQ(check(std::string("Config=AB\r\n\0\x1b", 13)).configuration, "AB");
    EXPECT_EQ(check(std::string("Config=\0CD", 10)).message, kEmpty);
    EXPECT_EQ(check("Config=\r\n").message, kEmpty);
}

TEST(ConfigurationFile, AControlByteInsideIsNotValidAndNamedWithItsOffset) {
    struct Case {
        std::string content;
        std::size_t offset;
        std::uint8_t byte;
    };
    for (const Case& k : {Case{"Config=ABC\r\x1b"
                               "FW\r\n",
                               10, 0x0D},
                          Case{"Config=\x1b"
                               "FW",
                               7, 0x1B},
                          Case{"Config=A\nB\n", 8, 0x0A}, Case{"Config=A\tB", 8, 0x09},
                          Case{"Config=AB\x7f", 9, 0x7F}, Case{"Config=AB\x01\r\n", 9, 0x01}}) {
        SCOPED_TRACE(k.offset);
        auto load = check(k.content);
        EXPECT_FALSE(load.ok);
        EXPECT_EQ(load.message, kNotValid);
        ASSERT_TRUE(load.controlByteOffset);
        EXPECT_EQ(*load.controlByteOffset, k.offset);
        EXPECT_EQ(load.controlByte, k.byte);
        EXPECT_TRUE(load.configuration.empty());
    }
    EXPECT_FALSE(check("config=ABC").controlByteOffset);
}

TEST(ConfigurationFile, APrefixThatIsNotExactlyConfigIsNotValidAndNothingAfterItIsEmpty) {
    EXPECT_EQ(check("Config=").message, kEmpty);
    EXPECT_FALSE(check("Config=").ok);
    for (const std::string bad :
         {"Config", "", "config=ABC", "CONFIG=ABC", " Config=ABC", "Konfig=ABC", "Config:ABC"}) {
        auto load = check(bad);
        EXPECT_FALSE(load.ok) << bad;
        EXPECT_EQ(load.message, kNotValid) << bad;
    }
}

TEST(ConfigurationFile, FiveHundredBytesLoadAndOneMoreIsNotValid) {
    const std::string at500 = "Config=" + std::string(493, 'x');
    ASSERT_EQ(at500.size(), 500u);
    auto load = check(at500);
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(load.configuration.size(), 493u);
    EXPECT_EQ(check(at500 + "x").message, kNotValid);
    // Even when the extra byte is past a NUL.
    EXPECT_EQ(check(at500.substr(0, 498) + std::string("\0\0", 2)).configuration.size(), 491u);
    EXPECT_EQ(check(at500.substr(0, 499) + std::string("\0\0", 2)).message, kNotValid);
}

TEST(ConfigurationFile, LoadingReadsTheFileAndNamesItByItsLastPathPart) {
    testenv::ScratchDir dir;
    const std::string path = dir.file("scanner.vsc");
    testenv::writeFile(path, "Config=" + std::string(493, 'y'));
    auto load = LoadConfigurationFile(path);
    ASSERT_TRUE(load.ok);
    EXPECT_EQ(load.configuration, std::string(493, 'y'));
    EXPECT_EQ(load.fileName, "scanner.vsc");

    testenv::writeFile(path, "Config=" + std::string(494, 'y'));
    auto tooLong = LoadConfigurationFile(path);
    EXPECT_FALSE(tooLong.ok);
    EXPECT_EQ(tooLong.message, kNotValid);
    EXPECT_TRUE(tooLong.fileName.empty());

    testenv::writeFile(path, "Config=ABC\r\n");
    EXPECT_EQ(LoadConfigurationFile(path).configuration, "ABC");
    testenv::writeFile(path,
                       "Config=ABC\r\x1b"
                       "FW\r\n");
    auto control = LoadConfigurationFile(path);
    EXPECT_EQ(control.message, kNotValid);
    EXPECT_EQ(control.controlByteOffset, 10u);

    testenv::writeFile(path, "Config");
    EXPECT_EQ(LoadConfigurationFile(path).message, kNotValid);
    testenv::writeFile(path, "Config=");
    EXPECT_EQ(LoadConfigurationFile(path).message, kEmpty);

    EXPECT_EQ(configurationFileName("/home/u/scanner.vsc"), "scanner.vsc");
    EXPECT_EQ(configurationFileName("C:\\Configs\\scanner.vsc"), "scanner.vsc");
    EXPECT_EQ(configurationFileName("/mnt/c/Configs\\scanner.vsc"), "scanner.vsc");
    EXPECT_EQ(configurationFileName("scanner.vsc"), "scanner.vsc");
}

TEST(ConfigurationFile, AFileThatCannotBeReadSaysWhy) {
    testenv::ScratchDir dir;
    auto missing = LoadConfigurationFile(dir.file("missing.vsc"));
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.fileError.windowsCode(), 2);
    ASSERT_TRUE(missing.message);
    EXPECT_EQ(missing.message->caption, " Error");
    EXPECT_EQ(missing.message->text, "Cannot open configuration file\n" + dir.file("missing.vsc") +
                                         ": " + missing.fileError.text);

    auto folder = LoadConfigurationFile(dir.path());
    EXPECT_FALSE(folder.ok);
    EXPECT_EQ(folder.fileError.osCode, EISDIR) << folder.message->text;

    // A device or a FIFO is not opened: it might never end, or wait for a writer.
    const std::string fifo = dir.file("pipe.vsc");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo}) {
        auto special = LoadConfigurationFile(path);
        EXPECT_FALSE(special.ok);
        ASSERT_TRUE(special.message);
        EXPECT_EQ(special.message->text,
                  "Cannot open configuration file\n" + path + ": is not a regular file");
    }

    if (::geteuid() != 0) {
        const std::string locked = dir.file("locked.vsc");
        testenv::writeFile(locked, "Config=ABC");
        ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
        auto denied = LoadConfigurationFile(locked);
        EXPECT_FALSE(denied.ok);
        EXPECT_EQ(denied.fileError.windowsCode(), 5);
    }
}
