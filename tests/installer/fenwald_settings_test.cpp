#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "installer/engine/fenwald_settings.h"
#include "platform/folders.h"
#include "tests/support/test_env.h"

using namespace fenwald;

namespace {

const std::string kDefaults =
    "[Main]\nport=1\nbaudrate=9600\ndatabits=8\nstopbits=0\nparity=0\nformat=0\nirda=0\n"
    "local echo=1\n";

// Runs the case in a scratch folder as the working folder, and goes back afterwards.
struct InWorkingFolder : ::testing::Test {
    testenv::ScratchDir dir;
    std::string before = platform::currentFolder();
    void SetUp() override { ASSERT_EQ(::chdir(dir.path().c_str()), 0); }
    void TearDown() override { ASSERT_EQ(::chdir(before.c_str()), 0); }
};

}  // namespace

TEST_F(InWorkingFolder, AMissingFileIsCreatedWithTheEightKeysAtTheirDefaults) {
    serial::SettingsFile file;
    FenwaldSettings s;
    s.port = 9;  // every value comes from the file
    loadSettings(file, s);
    EXPECT_EQ(file.path(), dir.file("fenwald.ini"));
    EXPECT_EQ(testenv::readFile(dir.file("fenwald.ini")), kDefaults);
    FenwaldSettings expected;
    expected.workingFolder = dir.path();
    EXPECT_EQ(s, expected);
}

TEST_F(InWorkingFolder, AnEmptyValueIsRewrittenWithItsDefaultAndTextReadsAsZero) {
    testenv::writeFile(dir.file("fenwald.ini"),
                       "; kept\n[main]\nport=7\nbaudrate=abc\nirda=\nPARITY=2x\n[Other]\nx=1\n");
    serial::SettingsFile file;
    FenwaldSettings s;
    loadSettings(file, s);
    EXPECT_EQ(s.port, 7);
    EXPECT_EQ(s.baudrate, 0);
    EXPECT_EQ(s.irda, 0);
    EXPECT_EQ(s.parity, 2);
    const std::string text = testenv::readFile(dir.file("fenwald.ini"));
    EXPECT_NE(text.find("irda=0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("baudrate=abc\n"), std::string::npos) << text;  // read, not rewritten
    EXPECT_NE(text.find("[Other]\nx=1\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("; kept\n", 0), 0u) << text;
}

TEST_F(InWorkingFolder, SavingWritesTheStartFolderFirstIntoTheFileThatWasReadAfterAChdir) {
    serial::SettingsFile file;
    FenwaldSettings s;
    loadSettings(file, s);
    ASSERT_EQ(s.workingFolder, dir.path());
    // A file dialog moves the working folder; the settings stay where they were read.
    testenv::ScratchDir elsewhere;
    ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
    ::unlink(dir.file("fenwald.ini").c_str());
    s.irda = 4;
    s.baudrate = 57600;
    saveSettings(file, s);
    EXPECT_FALSE(std::filesystem::exists(elsewhere.file("fenwald.ini")));
    EXPECT_EQ(testenv::readFile(dir.file("fenwald.ini")),
              "[Main]\ndir_buffer=" + dir.path() +
                  "\nport=1\nbaudrate=57600\ndatabits=8\nstopbits=0\nparity=0\nformat=0\nirda=4\n"
                  "local echo=1\n");
}

TEST_F(InWorkingFolder, ReadOnlyReadsTheFileAndNeverCreatesOrChangesIt) {
    serial::SettingsFile file;
    file.setReadOnly(true);
    FenwaldSettings s;
    loadSettings(file, s);
    EXPECT_EQ(s.port, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("fenwald.ini")));
    testenv::writeFile(dir.file("fenwald.ini"), "[Main]\nport=12\nirda=\n");
    loadSettings(file, s);
    EXPECT_EQ(s.port, 12);
    saveSettings(file, s);
    EXPECT_EQ(testenv::readFile(dir.file("fenwald.ini")), "[Main]\nport=12\nirda=\n");
}

TEST_F(InWorkingFolder, NoFolderIsCreatedForTheFile) {
    const std::string gone = dir.file("gone");
    ASSERT_TRUE(platform::createDirectory(gone));
    ASSERT_EQ(::chdir(gone.c_str()), 0);
    ASSERT_EQ(::rmdir(gone.c_str()), 0);
    serial::SettingsFile file;
    FenwaldSettings s;
    loadSettings(file, s);
    saveSettings(file, s);
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_EQ(s.port, 1);
}

TEST(IrdaTypes, FixedBaudRateCradleIsOnlyTheMainWindowsAndNeverReachesTheTransfer) {
    EXPECT_STREQ(irdaMainWindowItem(5), "Fixed baudrate cradle");
    EXPECT_STREQ(irdaMonitorItem(5), "");
    EXPECT_STREQ(irdaMainWindowItem(1), "Litelink compatible");
    EXPECT_STREQ(irdaMonitorItem(1), "LiteLink Compatible");
    EXPECT_STREQ(irdaMainWindowItem(6), "");
    const int expected[] = {0, 1, 2, 3, 4, 0, 0};
    for (int type = 0; type <= 6; ++type) EXPECT_EQ(irdaForTransfer(type), expected[type]) << type;
    EXPECT_EQ(irdaForTransfer(-1), 0);
}

TEST(IrdaTypes, TheMonitorsCorrections) {
    EXPECT_EQ(correctMonitorIrda(5).value, 0);
    EXPECT_TRUE(correctMonitorIrda(5).message);
    EXPECT_TRUE(correctMonitorIrda(9).message);
    EXPECT_FALSE(correctMonitorIrda(4).message);
    EXPECT_EQ(correctMonitorIrda(4).value, 4);

    for (int baud : {1200, 2400, 4800}) {
        EXPECT_TRUE(correctMonitorBaudRate(3, baud).message) << baud;
        EXPECT_EQ(correctMonitorBaudRate(3, baud).value, 9600);
    }
    EXPECT_FALSE(correctMonitorBaudRate(3, 9600).message);
    EXPECT_TRUE(correctMonitorBaudRate(4, 57600).message);
    EXPECT_FALSE(correctMonitorBaudRate(4, 38400).message);
    EXPECT_FALSE(correctMonitorBaudRate(2, 2400).message);
    EXPECT_EQ(correctMonitorBaudRate(0, 1200).value, 1200);
    EXPECT_STREQ(kInvalidIrdaDeviceText, "Invalid IrDA device selected\nChanged to 'none'");
}
