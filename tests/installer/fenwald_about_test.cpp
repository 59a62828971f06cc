#include "installer/ui/fenwald_about.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "platform/version.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"
#include "tests/support/version_files.h"

namespace {

constexpr const char* kGantryClassId = "{E91B52ED-8E44-11D5-8369-8555C730F863}";
constexpr const char* kVeskClassId = "{1983824D-C89C-11D5-B137-A0145DB9EC72}";

class FenwaldAboutBox : public ::testing::Test {
protected:
    FenwaldAboutBox() : registry_(dir_.file("components.ini")) {
        qttest::ensureApplication();
        // The transfer component's file has a version of its own, to tell the two apart.
        veskFile_ = dir_.file("libvesk.so");
        testenv::writeBytes(veskFile_, testenv::elfWithVersionBlock(
                                           testenv::versionBlock({{0x0409, 0x04B0, "2.5.1"}})));
    }

    QString text(FenwaldAbout& box, const char* name) {
        auto* label = box.findChild<QLabel*>(name);
        EXPECT_NE(label, nullptr) << name;
        return label ? label->text() : QString();
    }

    testenv::ScratchDir dir_;
    platform::ComponentRegistry registry_;
    std::string veskFile_;
};

TEST_F(FenwaldAboutBox, ShowsTheProgramsVersionAndBothComponentsFilesAndVersions) {
    registry_.registerComponent("Gantry.Gantry", kGantryClassId, TEST_COMPONENT_MODULE);
    registry_.registerComponent("Vesk.VeskCtl", kVeskClassId, veskFile_);
    FenwaldAbout box(registry_, nullptr);
    EXPECT_EQ(text(box, "titleLabel"), "Application loader");
    EXPECT_EQ(text(box, "versionLabel"), "Application version:  " VELTRIX_VERSION);
    EXPECT_EQ(text(box, "gantryVersionLabel"), "Gantry Version: " VELTRIX_VERSION);
    EXPECT_EQ(text(box, "gantryLocationLabel"), "Gantry Location: " TEST_COMPONENT_MODULE);
    EXPECT_EQ(text(box, "veskVersionLabel"), "VeskDLL Version: 2.5.1");
    EXPECT_EQ(text(box, "veskLocationLabel"),
              QString::fromStdString("VeskDLL Location: " + veskFile_));
    EXPECT_FALSE(text(box, "authorLabel").isEmpty());
    EXPECT_FALSE(text(box, "companyLabel").isEmpty());
}

TEST_F(FenwaldAboutBox, AComponentThatIsNotRegisteredShowsOnlyItsLabels) {
    registry_.registerComponent("Gantry.Gantry", kGantryClassId, TEST_COMPONENT_MODULE);
    FenwaldAbout box(registry_, nullptr);
    EXPECT_EQ(text(box, "veskVersionLabel"), "VeskDLL Version: ");
    EXPECT_EQ(text(box, "veskLocationLabel"), "VeskDLL Location: ");
    EXPECT_EQ(text(box, "gantryVersionLabel"), "Gantry Version: " VELTRIX_VERSION);
}

TEST_F(FenwaldAboutBox, AFileWithoutAVersionShowsItsPathAndAnEmptyVersion) {
    const std::string plain = dir_.file("plain.so");
    testenv::writeBytes(plain, testenv::elfImage({{".text", {0xC3}}}));
    registry_.registerComponent("Gantry.Gantry", kGantryClassId, plain);
    FenwaldAbout box(registry_, nullptr);
    EXPECT_EQ(text(box, "gantryVersionLabel"), "Gantry Version: ");
    EXPECT_EQ(text(box, "gantryLocationLabel"),
              QString::fromStdString("Gantry Location: " + plain));
    EXPECT_EQ(text(box, "veskLocationLabel"), "VeskDLL Location: ");
}

TEST_F(FenwaldAboutBox, LooksAsItsTemplateOnWhiteWithTheBitmapAcrossTheTop) {
    registry_.registerComponent("Gantry.Gantry", kGantryClassId, TEST_COMPONENT_MODULE);
    registry_.registerComponent("Vesk.VeskCtl", kVeskClassId, veskFile_);
    FenwaldAbout box(registry_, nullptr);
    EXPECT_EQ(box.windowTitle(), "About");
    EXPECT_FALSE(box.windowIcon().isNull());
    EXPECT_EQ(box.size(), QSize(398, 371));  // 265 x 228 dialog units
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(box.findChild<QLabel*>("titleLabel")->font().pointSize(), 20);
    for (const char* name :
         {"versionLabel", "gantryVersionLabel", "gantryLocationLabel", "veskVersionLabel",
          "veskLocationLabel", "authorLabel", "companyLabel"}) {
        const QFont font = box.findChild<QLabel*>(name)->font();
        EXPECT_EQ(font.family(), "Arial") << name;
        EXPECT_EQ(font.pointSize(), 10) << name;
    }

    ASSERT_FALSE(box.bitmap().isNull());
    const QImage shown = box.grab().toImage();
    EXPECT_EQ(shown.pixelColor(0, 0), Qt::white);
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, shown.height() - 2), Qt::white);
    int painted = 0;
    for (int x = 0; x < shown.width(); ++x)
        painted += shown.pixelColor(x, FenwaldAbout::kBitmapTop + 20) != Qt::white;
    EXPECT_GT(painted, shown.width() * 3 / 4);
}

TEST_F(FenwaldAboutBox, OkCloses) {
    FenwaldAbout box(registry_, nullptr);
    qttest::whenOpen<FenwaldAbout>(
        [](FenwaldAbout& open) { open.findChild<QPushButton*>("okButton")->click(); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
}

}  // namespace
