#include <gtest/gtest.h>

#include <climits>

#include "picture/engine/setting_checks.h"

using picture::CameraValues;
using picture::PictureWindow;

TEST(DialogNumbers, ReadLikeTheEditsWereRead) {
    EXPECT_EQ(picture::ReadDialogNumber("   0"), 0);
    EXPECT_EQ(picture::ReadDialogNumber("1279"), 1279);
    EXPECT_EQ(picture::ReadDialogNumber(""), 0);
    EXPECT_EQ(picture::ReadDialogNumber("12ab3"), 12);
    EXPECT_EQ(picture::ReadDialogNumber("abc"), 0);
    EXPECT_EQ(picture::ReadDialogNumber("99999999999"), INT_MAX);  // ten digits read, too large
    EXPECT_EQ(picture::ReadDialogNumber("00000000012345"), 1);      // only the first ten characters
}

TEST(PictureWindows, AtLeastTwoByTwoInside1280By1024) {
    EXPECT_TRUE(picture::PictureWindowInRange({0, 0, 1279, 1023}));
    EXPECT_TRUE(picture::PictureWindowInRange({0, 0, 1, 1}));
    EXPECT_FALSE(picture::PictureWindowInRange({0, 0, 1280, 1023}));
    EXPECT_FALSE(picture::PictureWindowInRange({0, 0, 1279, 1024}));
    EXPECT_FALSE(picture::PictureWindowInRange({5, 0, 5, 100}));
    EXPECT_FALSE(picture::PictureWindowInRange({0, 7, 100, 7}));
    EXPECT_FALSE(picture::PictureWindowInRange({10, 0, 9, 100}));
    EXPECT_FALSE(picture::PictureWindowInRange({-1, 0, 100, 100}));
    EXPECT_TRUE(picture::QualityInRange(100));
    EXPECT_TRUE(picture::QualityInRange(62));
    EXPECT_FALSE(picture::QualityInRange(101));
}

TEST(CameraText, TheDefaultTextHoldsAutoFocus100Shutter2Gain1) {
    EXPECT_EQ(picture::ReadCameraValues("[OOUQ1Q0Q0Q2Q1"), (CameraValues{"100", "2", "1"}));
    EXPECT_EQ(picture::WriteCameraValues("[OOUQ1Q0Q0Q2Q1", {"010", "3", "0"}), "[OOUQ0Q1Q0Q3Q0");
    // Longer values give their first characters; other characters stay, the length too.
    EXPECT_EQ(picture::WriteCameraValues("xQaQbQcyyQdQe!", {"1234", "56", "78"}), "xQ1Q2Q3yyQ5Q7!");
}

TEST(CameraText, AValueThatIsItselfAQIsNotTakenForTheNextMark) {
    // The search for the next 'Q' starts after the value, in reading as in writing.
    EXPECT_EQ(picture::ReadCameraValues("QQQQQQQQQQ"), (CameraValues{"QQQ", "Q", "Q"}));
    EXPECT_EQ(picture::WriteCameraValues("QQQQQQQQQQ", {"123", "4", "5"}), "Q1Q2Q3Q4Q5");
}

TEST(CameraText, ShortTextsAndShortFieldsAreRefusedWithoutTouchingAnything) {
    EXPECT_FALSE(picture::ReadCameraValues(""));
    EXPECT_FALSE(picture::ReadCameraValues("[OOUQ1Q0Q0Q2"));
    EXPECT_FALSE(picture::ReadCameraValues("[OOUQ1Q0Q0Q2Q"));  // the fifth Q ends the text
    EXPECT_FALSE(picture::WriteCameraValues("[OOUQ1Q0Q0Q2Q", {"123", "4", "5"}));
    EXPECT_FALSE(picture::WriteCameraValues("[OOUQ1Q0Q0Q2Q1", {"12", "4", "5"}));
    EXPECT_FALSE(picture::WriteCameraValues("[OOUQ1Q0Q0Q2Q1", {"123", "", "5"}));
    EXPECT_FALSE(picture::WriteCameraValues("[OOUQ1Q0Q0Q2Q1", {"123", "4", ""}));
}
