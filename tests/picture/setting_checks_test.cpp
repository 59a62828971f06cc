#include <gtest/gtest.h>

#include <climits>

#include "picture/engine/setting_checks.h"

using pictavo::CameraValues;
using pictavo::PictureWindow;

TEST(DialogNumbers, ReadLikeTheEditsWereRead) {
    EXPECT_EQ(pictavo::readDialogNumber("   0"), 0);
    EXPECT_EQ(pictavo::readDialogNumber("1279"), 1279);
    EXPECT_EQ(pictavo::readDialogNumber(""), 0);
    EXPECT_EQ(pictavo::readDialogNumber("12ab3"), 12);
    EXPECT_EQ(pictavo::readDialogNumber("abc"), 0);
    EXPECT_EQ(pictavo::readDialogNumber("99999999999"), INT_MAX);  // ten digits read, too large
    EXPECT_EQ(pictavo::readDialogNumber("00000000012345"), 1);     // only the first ten characters
}

TEST(PictureWindows, AtLeastTwoByTwoInside1280By1024) {
    EXPECT_TRUE(pictavo::pictureWindowInRange({0, 0, 1279, 1023}));
    EXPECT_TRUE(pictavo::pictureWindowInRange({0, 0, 1, 1}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({0, 0, 1280, 1023}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({0, 0, 1279, 1024}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({5, 0, 5, 100}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({0, 7, 100, 7}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({10, 0, 9, 100}));
    EXPECT_FALSE(pictavo::pictureWindowInRange({-1, 0, 100, 100}));
    EXPECT_TRUE(pictavo::qualityInRange(100));
    EXPECT_TRUE(pictavo::qualityInRange(62));
    EXPECT_FALSE(pictavo::qualityInRange(101));
}

TEST(CameraText, TheDefaultTextHoldsAutoFocus100Shutter2Gain1) {
    EXPECT_EQ(pictavo::readCameraValues("[OOUQ1Q0Q0Q2Q1"), (CameraValues{"100", "2", "1"}));
    EXPECT_EQ(pictavo::writeCameraValues("[OOUQ1Q0Q0Q2Q1", {"010", "3", "0"}), "[OOUQ0Q1Q0Q3Q0");
    // Longer values give their first characters; other characters stay, the length too.
    EXPECT_EQ(pictavo::writeCameraValues("xQaQbQcyyQdQe!", {"1234", "56", "78"}), "xQ1Q2Q3yyQ5Q7!");
}

TEST(CameraText, AValueThatIsItselfAQIsNotTakenForTheNextMark) {
    // The search for the next 'Q' starts after the value, in reading as in writing.
    EXPECT_EQ(pictavo::readCameraValues("QQQQQQQQQQ"), (CameraValues{"QQQ", "Q", "Q"}));
    EXPECT_EQ(pictavo::writeCameraValues("QQQQQQQQQQ", {"123", "4", "5"}), "Q1Q2Q3Q4Q5");
}

TEST(CameraText, ShortTextsAndShortFieldsAreRefusedWithoutTouchingAnything) {
    EXPECT_FALSE(pictavo::readCameraValues(""));
    EXPECT_FALSE(pictavo::readCameraValues("[OOUQ1Q0Q0Q2"));
    EXPECT_FALSE(pictavo::readCameraValues("[OOUQ1Q0Q0Q2Q"));  // the fifth Q ends the text
    EXPECT_FALSE(pictavo::writeCameraValues("[OOUQ1Q0Q0Q2Q", {"123", "4", "5"}));
    EXPECT_FALSE(pictavo::writeCameraValues("[OOUQ1Q0Q0Q2Q1", {"12", "4", "5"}));
    EXPECT_FALSE(pictavo::writeCameraValues("[OOUQ1Q0Q0Q2Q1", {"123", "", "5"}));
    EXPECT_FALSE(pictavo::writeCameraValues("[OOUQ1Q0Q0Q2Q1", {"123", "4", ""}));
}
