#include <gtest/gtest.h>

#include <filesystem>

#include "picture/engine/picture_settings.h"
#include "platform/folders.h"
#include "tests/support/test_env.h"

using namespace pictavo;

namespace {

const char kAllDefaults[] =
    "[Main]\n"
    "port=1\n"
    "size=104\n"
    "IgnorePortName=1\n"
    "JPEGImage=1\n"
    "EnableCameraSettings=1\n"
    "CameraSetup=[OOUQ1Q0Q0Q2Q1\n"
    "DebugCommands=0\n"
    "[Size]\n"
    "startx=0\n"
    "starty=0\n"
    "endx=1279\n"
    "endy=1023\n"
    "[Quality]\n"
    "quality=65\n"
    "[Snapshot]\n"
    "snapshot=1\n"
    "[Illumination]\n"
    "illumination=1\n";

}  // namespace

TEST(PictureSettings, AMissingFileIsCreatedInItsVeltrixFolderWithEveryDefault) {
    testenv::IsolatedPorts env;  // the configuration folder is a scratch one
    std::string folder = platform::joinPath(platform::configFolder(), "Veltrix");
    ASSERT_FALSE(std::filesystem::exists(folder));

    PictureSettingsFile file;
    file.setDefaultPath();
    EXPECT_EQ(file.path(), platform::joinPath(folder, "kivvision.ini"));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_FALSE(std::filesystem::exists(file.path()));  // the first write makes it

    PictureSettings s;
    s.port = 9;
    LoadSettings(file, s);
    EXPECT_EQ(s, PictureSettings{});
    EXPECT_EQ(testenv::readFile(file.path()), kAllDefaults);
}

TEST(PictureSettings, ValuesAreReadAsTheirLeadingDigitsAndMissingKeysComeBack) {
    testenv::IsolatedPorts env;
    PictureSettingsFile file;
    file.setDefaultPath();
    testenv::writeFile(file.path(),
                       "[Main]\nport=12\nsize=abc\nCameraSetup=[OOUQ2\n[Quality]\nquality=70x\n");
    PictureSettings s;
    LoadSettings(file, s);
    EXPECT_EQ(s.port, 12);
    EXPECT_EQ(s.scale, 0);
    EXPECT_EQ(s.quality, 70);
    EXPECT_EQ(s.cameraSetup, "[OOUQ2");
    EXPECT_EQ(s.endx, 1279);
    std::string text = testenv::readFile(file.path());
    EXPECT_NE(text.find("size=abc"), std::string::npos);  // a value that is there stays as it was
    EXPECT_NE(text.find("endx=1279"), std::string::npos);
    EXPECT_NE(text.find("DebugCommands=0"), std::string::npos);
}

TEST(PictureSettings, SaveWritesEveryValueAndLoadReadsThemBack) {
    testenv::IsolatedPorts env;
    PictureSettingsFile file;
    file.setDefaultPath();
    PictureSettings s;
    s.port = 4, s.scale = kScale75, s.startx = 10, s.starty = 20, s.endx = 639, s.endy = 479;
    s.quality = 90, s.snapshot = 0, s.illumination = 0, s.ignorePortName = 0, s.jpegImage = 0;
    s.enableCameraSettings = 0, s.cameraSetup = "[OOUQ9", s.debugCommands = 1;
    SaveSettings(file, s);
    PictureSettings back;
    LoadSettings(file, back);
    EXPECT_EQ(back, s);
}

TEST(PictureSettings, ReadOnlyFilesGiveTheDefaultsAndCreateNothing) {
    testenv::IsolatedPorts env;
    PictureSettingsFile file;
    file.setReadOnly(true);
    file.setDefaultPath();
    PictureSettings s;
    LoadSettings(file, s);
    SaveSettings(file, s);
    EXPECT_EQ(s, PictureSettings{});
    EXPECT_FALSE(std::filesystem::exists(platform::joinPath(platform::configFolder(), "Veltrix")));
}
