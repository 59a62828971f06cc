#include "tests/picture/picture_ui_test_support.h"

#include <QTest>

#include "tests/picture/picture_test_support.h"

namespace uitest {

void EnsureApplication() {
    static int argc = 1;
    static char name[] = "picture_ui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

QObject& Watches() {
    static QObject owner;
    return owner;
}

void StopWatching() {
    for (QObject* watch : Watches().children()) delete watch;
}

bool Eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait) {
    return testenv::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return cond();
        },
        wait);
}

MessageBoxes::MessageBoxes() {
    previous_ = dialogs::SetMessageBoxHandler([this](const dialogs::MessageBoxRequest& r) {
        boxes_.push_back(r);
        if (!answers_.empty()) {
            auto answer = answers_.front();
            answers_.pop_front();
            return answer;
        }
        for (auto b : {QMessageBox::Ok, QMessageBox::Yes})
            if (r.buttons & b) return b;
        return QMessageBox::NoButton;
    });
}

MessageBoxes::~MessageBoxes() { dialogs::SetMessageBoxHandler(std::move(previous_)); }

std::vector<QString> MessageBoxes::texts() const {
    std::vector<QString> t;
    for (const auto& b : boxes_) t.push_back(b.text);
    return t;
}

SaveDialogs::SaveDialogs() {
    previous_ = dialogs::SetFileDialogHandler([this](const dialogs::FileDialogRequest& r) -> std::optional<QString> {
        requests_.push_back(r);
        if (answers_.empty()) return std::nullopt;
        QString path = answers_.front();
        answers_.pop_front();
        return path;
    });
}

SaveDialogs::~SaveDialogs() { dialogs::SetFileDialogHandler(std::move(previous_)); }

void ScannerWindowTest::SetUp() {
    ASSERT_TRUE(scanner.start(env.mapFile(), kCom, "Veltrix 2D Scanner (COM1)"));
    jpeg = picturetest::SmallJpeg();
    scanner.setPicture(jpeg);
}

bool ScannerWindowTest::triggerWhenWaiting() {
    return Eventually([&] { return scanner.trigger() == "triggered"; });
}

}  // namespace uitest
