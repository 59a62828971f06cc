// What the download tool's window tests share beyond tests/support/qt_test_support.h: a main
// window on a recording keyboard with simulated Z7 devices.
#pragma once

#include <QStringList>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "download/ui/kolvane_view.h"
#include "download/ui/main_frame.h"
#include "sim/z7_device.h"
#include "tests/download/expected_lines.h"
#include "tests/support/qt_test_support.h"
#include "tests/support/test_env.h"

namespace kuitest {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

using qttest::ensureApplication;
using qttest::eventually;
using qttest::FileDialogs;
using qttest::MessageBoxes;
using qttest::stopWatching;
using qttest::whenOpen;

// The texts of the checked items of the Config menu, in menu order.
QStringList checkedConfigItems(const CMainFrame& frame);

// Every window test: its own port map and folders, boxes and dialogs answered, and a main
// window whose lock-key items press a recording keyboard.
struct KolvaneWindow : ::testing::Test {
    static void SetUpTestSuite() { ensureApplication(); }
    ~KolvaneWindow() override;

    testenv::IsolatedPorts env;
    MessageBoxes boxes;
    FileDialogs files;
    platform::RecordingLockKeys* keys = nullptr;  // owned by the frame
    std::unique_ptr<CMainFrame> frame;

    // A Z7 device on COM com.
    std::unique_ptr<sim::Z7Device> device(int com, sim::Z7Device::Options options = {});
    // Shows the main window and waits until its start-up command (opening the line) completed.
    CMainFrame& start();
    CKolvaneView& view() { return *frame->LogView(); }
    Lines log() { return view().LogLines(); }
    // Triggers a menu action by object name.
    void trigger(const char* action);
    // Waits until every posted command completed.
    bool waitReady(std::chrono::milliseconds wait = 30s);
    std::string writeImage(const std::string& name, const Bytes& bytes);
};

inline Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The log of a block transfer's end once the data are sent: stop exchange and flash reports.
Lines transferEnd();

}  // namespace kuitest
