// What every window test shares: the application, recorders that answer the message boxes
// and file dialogs through the windows' seam (serial/ui/dialog_seams.h), waiting while events
// are processed, and a way to act on a modal window once it is open (its exec() holds the
// caller).
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serial/ui/dialog_seams.h"

namespace qttest {

using namespace std::chrono_literals;

void ensureApplication();

// Processes events until cond holds or the wait ends.
bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait = 10s);

// Records every message box and answers it: with the next queued answer, else OK (or the
// first button the box offers).
class MessageBoxes {
public:
    MessageBoxes();
    ~MessageBoxes();
    void answerNext(QMessageBox::StandardButton button) { answers_.push_back(button); }
    const std::vector<serial::ui::MessageBoxRequest>& all() const { return boxes_; }
    QStringList texts() const;
    void clear() { boxes_.clear(); }

private:
    serial::ui::MessageBoxHandler previous_;
    std::vector<serial::ui::MessageBoxRequest> boxes_;
    std::deque<QMessageBox::StandardButton> answers_;
};

// Records every file dialog and answers it with the next queued path, else cancels.
class FileDialogs {
public:
    FileDialogs();
    ~FileDialogs();
    void answerNext(const QString& path) { answers_.push_back(path); }
    void answerNext(const std::string& path) { answers_.push_back(QString::fromStdString(path)); }
    const std::vector<serial::ui::FileDialogRequest>& all() const { return requests_; }

private:
    serial::ui::FileDialogHandler previous_;
    std::vector<serial::ui::FileDialogRequest> requests_;
    std::deque<QString> answers_;
};

// Owns the watches of whenOpen; a test's watches end with the test (stopWatching).
QObject& watches();
void stopWatching();

// Calls act once a visible window of type T is open; a test that opens it through exec()
// arranges this first. Fails the test when none opens within the wait.
template <class T>
void whenOpen(std::function<void(T&)> act, std::chrono::milliseconds wait = 10s) {
    auto* timer = new QTimer(&watches());
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

}  // namespace qttest
