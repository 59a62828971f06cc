// What the picture tool's window tests share: the application, recorders that answer the
// message boxes and save dialogs, a way to act on a modal window once it is open (its exec()
// holds the caller), and a simulated scanner on COM1, the port of the default settings.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "serial/ui/dialog_seams.h"
#include "sim/scanner_device.h"
#include "tests/support/test_env.h"

namespace uitest {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

void EnsureApplication();

// Processes events until cond holds or the wait ends.
bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait = 10s);

// Records every message box and answers it: with the next queued answer, else OK (or the
// first button the box offers).
class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    void answerNext(QMessageBox::StandardButton button) { answers_.push_back(button); }
    const std::vector<dialogs::MessageBoxRequest>& all() const { return boxes_; }
    std::vector<QString> texts() const;
    void clear() { boxes_.clear(); }

private:
    dialogs::MessageBoxHandler previous_;
    std::vector<dialogs::MessageBoxRequest> boxes_;
    std::deque<QMessageBox::StandardButton> answers_;
};

// Records every save dialog and answers it with the next queued path, else cancels.
class SaveDialogs {
public:
    SaveDialogs();
    ~SaveDialogs();
    void answerNext(const QString& path) { answers_.push_back(path); }
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

// The environment every window test runs in: its own port map, settings and temporary
// folders, the boxes and dialogs answered.
struct WindowTest : ::testing::Test {
    static void SetUpTestSuite() { EnsureApplication(); }
    ~WindowTest() override { StopWatching(); }
    testenv::IsolatedPorts env;
    MessageBoxes boxes;
    SaveDialogs saves;
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
