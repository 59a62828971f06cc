#include "tests/picture/picture_ui_test_support.h"

#include "tests/picture/picture_test_support.h"

namespace uitest {

std::vector<QString> MessageBoxes::texts() const {
    const QStringList t = qttest::MessageBoxes::texts();
    return {t.begin(), t.end()};
}

void ScannerWindowTest::SetUp() {
    ASSERT_TRUE(scanner.start(env.mapFile(), kCom, "Veltrix 2D Scanner (COM1)"));
    jpeg = picturetest::smallJpeg();
    scanner.setPicture(jpeg);
}

bool ScannerWindowTest::triggerWhenWaiting() {
    return eventually([&] { return scanner.trigger() == "triggered"; });
}

}  // namespace uitest
