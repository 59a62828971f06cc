// What the picture tool's window tests share beyond tests/support/qt_test_support.h: the
// window test fixtures, and a simulated scanner on COM1, the port of the default settings.
#pragma once

#include <QString>
#include <vector>

#include "sim/scanner_device.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

namespace uitest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

using qttest::ensureApplication;
using qttest::eventually;
using qttest::FileDialogs;
using qttest::stopWatching;
using qttest::whenOpen;

// The shared recorder, its texts as the picture tool's tests compare them.
class MessageBoxes : public qttest::MessageBoxes {
public:
    std::vector<QString> texts() const;
};

// The environment every window test runs in: its own port map, settings and temporary
// folders, the boxes and dialogs answered.
struct WindowTest : ::testing::Test {
    static void SetUpTestSuite() { ensureApplication(); }
    ~WindowTest() override { stopWatching(); }
    testenv::IsolatedPorts env;
    MessageBoxes boxes;
    FileDialogs saves;
};

// ... and a simulated scanner on COM1 serving a small JPEG picture.
struct ScannerWindowTest : WindowTest {
    static constexpr int kCom = 1;
    sim::ScannerDevice scanner;
    Bytes jpeg;
    void SetUp() override;
    bool triggerWhenWaiting();
};

}  // namespace uitest
