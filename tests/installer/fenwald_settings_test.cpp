#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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

TEST_F(InWorkingFolder, AnEmptyValueIsRewrittenWithItsDefaultAndTextIsABadValue) {
    testenv::writeFile(dir.file("fenwald.ini"),
                       "; kept\n[main]\nport=7\nbaudrate=abc\nirda=\nPARITY=2x\n[Other]\nx=1\n");
    serial::SettingsFile file;
    FenwaldSettings s;
    const SettingsLoad load = loadSettings(file, s);
    EXPECT_EQ(s.port, 7);
    EXPECT_EQ(s.baudrate, 9600);  // "abc" reads as 0, which is no baud rate
    EXPECT_EQ(s.irda, 0);
    EXPECT_EQ(s.parity, 2);
    ASSERT_EQ(load.problems.size(), 1u);
    EXPECT_EQ(load.problems[0].key, "baudrate");
    EXPECT_EQ(load.problems[0].value, "abc");
    EXPECT_FALSE(load.unreadable);
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
    EXPECT_FALSE(saveSettings(file, s));  // nothing to tell: the front end never saves
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
    const auto failed = saveSettings(file, s);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->osCode, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(gone));
    EXPECT_EQ(s.port, 1);
}

TEST_F(InWorkingFolder, AValueOutOfItsRangeGivesTheDefaultAndIsNamedNeverWrapped) {
    struct Case {
        std::string key, value;
        int FenwaldSettings::*field;
        int expected;  // the value when it is in range, else the default
        bool bad;
    };
    const Case cases[] = {
        {"port", "65539", &FenwaldSettings::port, 1, true},  // COM3 in 16 bits
        {"port", "32771", &FenwaldSettings::port, 1, true},  // COM-32765
        {"port", "99999999999", &FenwaldSettings::port, 1, true},
        {"port", "-3", &FenwaldSettings::port, 1, true},
        {"port", "256", &FenwaldSettings::port, 1, true},
        {"port", "255", &FenwaldSettings::port, 255, false},
        {"baudrate", "9601", &FenwaldSettings::baudrate, 9600, true},
        {"baudrate", "115200", &FenwaldSettings::baudrate, 115200, false},
        {"databits", "9", &FenwaldSettings::databits, 8, true},
        {"databits", "7", &FenwaldSettings::databits, 7, false},
        {"stopbits", "1", &FenwaldSettings::stopbits, 0, true},
        {"stopbits", "2", &FenwaldSettings::stopbits, 2, false},
        {"parity", "3", &FenwaldSettings::parity, 0, true},
        {"format", "3", &FenwaldSettings::format, 0, true},
        {"irda", "6", &FenwaldSettings::irda, 0, true},
        {"irda", "5", &FenwaldSettings::irda, 5, false},
        {"local echo", "2", &FenwaldSettings::localEcho, 1, true},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.key + "=" + k.value);
        testenv::writeFile(dir.file("fenwald.ini"), "[Main]\n" + k.key + "=" + k.value + "\n");
        serial::SettingsFile file;
        file.setReadOnly(true);
        FenwaldSettings s;
        const SettingsLoad load = loadSettings(file, s);
        EXPECT_EQ(s.*k.field, k.expected);
        ASSERT_EQ(load.problems.size(), k.bad ? 1u : 0u);
        if (k.bad) {
            EXPECT_EQ(load.problems[0].key, k.key);
            EXPECT_EQ(load.problems[0].value, k.value);
        }
    }
    EXPECT_EQ(describeSettingProblem("/w/fenwald.ini", {"port", "65539\x1b", "a COM number"}),
              "/w/fenwald.ini: \"port\" takes a COM number, not 65539\\x1B");
}

TEST_F(InWorkingFolder, AFileThatCannotBeReadGivesTheDefaultsSaysWhyAndIsNotReplaced) {
    ASSERT_TRUE(platform::createDirectory(dir.file("fenwald.ini")));
    serial::SettingsFile file;
    FenwaldSettings s;
    s.port = 9;
    const SettingsLoad load = loadSettings(file, s);
    ASSERT_TRUE(load.unreadable);
    EXPECT_EQ(load.unreadable->osCode, EISDIR);
    EXPECT_EQ(s.port, 1);
    EXPECT_TRUE(load.problems.empty());
    EXPECT_TRUE(file.readOnly());
    EXPECT_EQ(describeUnreadableSettings(file.path(), *load.unreadable),
              "Cannot read " + dir.file("fenwald.ini") + " (" + load.unreadable->text +
                  "): the default settings are used");

    // A FIFO is not read at all: the read would wait for a writer.
    ASSERT_EQ(::rmdir(dir.file("fenwald.ini").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fenwald.ini").c_str(), 0600), 0);
    serial::SettingsFile fifo;
    const SettingsLoad fromFifo = loadSettings(fifo, s);
    ASSERT_TRUE(fromFifo.unreadable);
    EXPECT_EQ(fromFifo.unreadable->text, "is not a regular file");
    EXPECT_EQ(s.port, 1);
    ASSERT_EQ(::unlink(dir.file("fenwald.ini").c_str()), 0);
    ASSERT_TRUE(platform::createDirectory(dir.file("fenwald.ini")));

    if (::geteuid() != 0) {  // root reads a file of mode 000
        ASSERT_EQ(::rmdir(dir.file("fenwald.ini").c_str()), 0);
        testenv::writeFile(dir.file("fenwald.ini"), "[Main]\nport=7\n");
        ASSERT_EQ(::chmod(dir.file("fenwald.ini").c_str(), 0), 0);
        serial::SettingsFile locked;
        const SettingsLoad denied = loadSettings(locked, s);
        ASSERT_TRUE(denied.unreadable);
        EXPECT_EQ(denied.unreadable->osCode, EACCES);
        saveSettings(locked, s);
        ASSERT_EQ(::chmod(dir.file("fenwald.ini").c_str(), 0600), 0);
        EXPECT_EQ(testenv::readFile(dir.file("fenwald.ini")), "[Main]\nport=7\n");
    }
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
