#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "picture/ui/settings_dialogs.h"
#include "picture/ui/small_dialogs.h"
#include "tests/picture/picture_ui_test_support.h"

#include <QCheckBox>

namespace {

using SettingsDialogs = uitest::WindowTest;

const QString kSizeRefusal = "Values are out of range\nTry again.";

void enter(set_size& d, const char* x0, const char* y0, const char* x1, const char* y1) {
    d.x0Edit()->setText(x0);
    d.y0Edit()->setText(y0);
    d.x1Edit()->setText(x1);
    d.y1Edit()->setText(y1);
}

}  // namespace

TEST_F(SettingsDialogs, SizeShowsTheWindowRightAlignedAndAcceptsTheWholePicture) {
    set_size d(pictavo::PictureWindow{0, 0, 1279, 1023});
    d.show();
    EXPECT_EQ(d.windowTitle(), "Set picture size");
    EXPECT_EQ(d.x0Edit()->text(), "   0");
    EXPECT_EQ(d.y0Edit()->text(), "   0");
    EXPECT_EQ(d.x1Edit()->text(), "1279");
    EXPECT_EQ(d.y1Edit()->text(), "1023");
    EXPECT_TRUE(d.x0Edit()->alignment() & Qt::AlignRight);
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_EQ(d.Window(), (pictavo::PictureWindow{0, 0, 1279, 1023}));
}

TEST_F(SettingsDialogs, SizeRefusesWindowsOutsideThePictureOrNarrowerThanTwoPixelsAndStaysOpen) {
    set_size d(pictavo::PictureWindow{10, 20, 300, 400});
    d.show();
    const std::array<std::array<const char*, 4>, 5> refused = {{{"0", "0", "1280", "1023"},
                                                                {"5", "0", "5", "100"},
                                                                {"0", "9", "100", "9"},
                                                                {"200", "0", "100", "100"},
                                                                {"0", "0", "99999999999", "100"}}};
    for (const auto& v : refused) {
        boxes.clear();
        enter(d, v[0], v[1], v[2], v[3]);
        d.accept();
        ASSERT_EQ(boxes.texts(), std::vector<QString>{kSizeRefusal}) << v[2];
        EXPECT_EQ(boxes.all()[0].icon, QMessageBox::Warning);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(d.Window(), (pictavo::PictureWindow{10, 20, 300, 400}));
    }
    boxes.clear();
    enter(d, "1278", "1022", "1279", "1023");  // the smallest window there is
    d.accept();
    EXPECT_TRUE(boxes.all().empty());
    EXPECT_EQ(d.Window(), (pictavo::PictureWindow{1278, 1022, 1279, 1023}));
}

TEST_F(SettingsDialogs, SizeDefaultRefillsTheWholePictureAndDigitsOnlyAreTyped) {
    set_size d(pictavo::PictureWindow{10, 20, 300, 400});
    d.show();
    QPushButton* defaults = d.findChild<QPushButton*>("defaultButton");
    ASSERT_NE(defaults, nullptr);
    defaults->click();
    EXPECT_EQ(d.x1Edit()->text(), "1279");
    EXPECT_EQ(d.y1Edit()->text(), "1023");
    d.x0Edit()->clear();
    QTest::keyClicks(d.x0Edit(), "4a-2");
    EXPECT_EQ(d.x0Edit()->text(), "42");
    d.reject();
    EXPECT_EQ(d.result(), QDialog::Rejected);
}

TEST_F(SettingsDialogs, QualityRefusesAbove100AndCancelKeepsTheOldValue) {
    CQuality d(65);
    d.show();
    EXPECT_EQ(d.windowTitle(), "Set Quality");
    EXPECT_EQ(d.qualityEdit()->text(), "  65");
    d.qualityEdit()->setText("150");
    d.accept();
    EXPECT_EQ(boxes.texts(), std::vector<QString>{"Value is out of range\nTry again."});
    EXPECT_TRUE(d.isVisible());
    d.reject();
    EXPECT_EQ(d.Quality(), 65);

    CQuality other(40);
    other.findChild<QPushButton*>("defaultButton")->click();
    EXPECT_EQ(other.qualityEdit()->text(), "  65");
    other.qualityEdit()->setText("100");
    other.accept();
    EXPECT_EQ(other.result(), QDialog::Accepted);
    EXPECT_EQ(other.Quality(), 100);
}

TEST_F(SettingsDialogs, CameraValuesAreReadFromTheTextAndWrittenBackInPlace) {
    CCameraSettingsDlg d("[OOUQ1Q0Q0Q2Q1");
    EXPECT_EQ(d.windowTitle(), "Camera Settings");
    EXPECT_EQ(d.autoFocusEdit()->text(), "100");
    EXPECT_EQ(d.shutterEdit()->text(), "2");
    EXPECT_EQ(d.gainEdit()->text(), "1");
    d.autoFocusEdit()->setText("010");
    d.shutterEdit()->setText("3");
    d.gainEdit()->setText("0");
    d.accept();
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(d.CameraSetup(), "[OOUQ0Q1Q0Q3Q0");
    EXPECT_TRUE(boxes.all().empty());
}

TEST_F(SettingsDialogs, CameraRefusesShortFieldsAndStaysOpenWithTheTextUnchanged) {
    CCameraSettingsDlg d("[OOUQ1Q0Q0Q2Q1");
    d.show();
    d.autoFocusEdit()->setText("01");
    d.accept();
    ASSERT_EQ(boxes.all().size(), 1u);
    EXPECT_TRUE(boxes.all()[0].text.startsWith("Auto Focus takes three digits"));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(d.CameraSetup(), "[OOUQ1Q0Q0Q2Q1");
    d.autoFocusEdit()->setText("011");
    d.gainEdit()->clear();
    d.accept();
    EXPECT_EQ(boxes.all().size(), 2u);
    EXPECT_EQ(d.CameraSetup(), "[OOUQ1Q0Q0Q2Q1");
    d.reject();
    EXPECT_EQ(d.CameraSetup(), "[OOUQ1Q0Q0Q2Q1");
}

TEST_F(SettingsDialogs, ACameraTextWithoutFiveValuesIsRefusedAndLeftAlone) {
    for (const std::string text : {"[OOUQ1Q0Q0", "[OOUQ1Q0Q0Q2Q", "", "QQQQ"}) {
        boxes.clear();
        CCameraSettingsDlg d(text);
        d.show();
        d.autoFocusEdit()->setText("123");
        d.shutterEdit()->setText("4");
        d.gainEdit()->setText("5");
        d.accept();
        ASSERT_EQ(boxes.all().size(), 1u) << text;
        EXPECT_TRUE(boxes.all()[0].text.contains("does not hold the five camera values"));
        EXPECT_EQ(d.result(), QDialog::Rejected);
        EXPECT_EQ(d.CameraSetup(), text);
    }
}

TEST_F(SettingsDialogs, DebugSwitchReturnsTheBoxOnlyOnOk) {
    CDebugCommandDlg d(false);
    EXPECT_EQ(d.windowTitle(), "Debug Commands");
    EXPECT_EQ(d.enableBox()->text(), "Enable Debug Commands");
    EXPECT_FALSE(d.enableBox()->isChecked());
    d.enableBox()->setChecked(true);
    d.reject();
    EXPECT_FALSE(d.Enabled());
    CDebugCommandDlg on(true);
    EXPECT_TRUE(on.enableBox()->isChecked());
    on.enableBox()->setChecked(false);
    on.accept();
    EXPECT_FALSE(on.Enabled());
}
