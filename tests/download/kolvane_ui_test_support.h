// What the download tool's window tests share: the application, recorders that answer the
// message boxes and file dialogs, a way to act on a modal window once it is open (its exec()
// holds the caller), and a main window on a recording keyboard with simulated Z7 devices.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/ui/kolvane_view.h"
#include "download/ui/main_frame.h"
#include "serial/ui/dialog_seams.h"
#include "sim/z7_device.h"
#include "tests/support/test_env.h"

namespace kuitest {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

void EnsureApplication();

// Processes events until cond holds or the wait ends.
bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait = 10s);

// Records every message box and answers OK.
class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    const std::vector<dialogs::MessageBoxRequest>& all() const { return boxes_; }
    QStringList texts() const;

private:
    dialogs::MessageBoxHandler previous_;
    std::vector<dialogs::MessageBoxRequest> boxes_;
};

// Records every file dialog and answers it with the next queued path, else cancels.
class FileDialogs {
public:
    FileDialogs();
    ~FileDialogs();
    void answerNext(const std::string& path) { answers_.push_back(QString::fromStdString(path)); }
    const std::vector<dialogs::FileDialogRequest>& all() const { return requests_; }

private:
    dialogs::FileDialogHandler previous_;
    std::vector<dialogs::FileDialogRequest> requests_;
    std::deque<QString> answers_;
};

// Owns the watches of WhenOpen; a test's watches end with the test (StopWatching).
QObject& Watches();
void StopWatching();

// Calls act once a visible window of type T is open; a test that opens it through exec()
// arranges this first. Fails the test when none opens within the wait.
template <class T>
void WhenOpen(std::function<void(T&)> act, std::chrono::milliseconds wait = 10s) {
    auto* timer = new QTimer(&Watches());
    timer->setInterval(5);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    QObject::connect(timer, &QTimer::timeout, [timer, act, deadline] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<T*>(w); window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                act(*window);
                return;
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "the window did not open";
        }
    });
    timer->start();
}

// The texts of the checked items of the Config menu, in menu order.
QStringList CheckedConfigItems(const CMainFrame& frame);

// Every window test: its own port map and folders, boxes and dialogs answered, and a main
// window whose lock-key items press a recording keyboard.
struct KolvaneWindow : ::testing::Test {
    static void SetUpTestSuite() { EnsureApplication(); }
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
Lines TransferEnd();

}  // namespace kuitest
