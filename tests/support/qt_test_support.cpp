#include "tests/support/qt_test_support.h"

#include "tests/support/test_env.h"

namespace qttest {

void ensureApplication() {
    static int argc = 1;
    static char name[] = "veltrix_ui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

bool eventually(const std::function<bool()>& cond, std::chrono::milliseconds wait) {
    return testenv::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            return cond();
        },
        wait);
}

MessageBoxes::MessageBoxes() {
    previous_ = serial::ui::setMessageBoxHandler([this](const serial::ui::MessageBoxRequest& r) {
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

MessageBoxes::~MessageBoxes() {
    serial::ui::setMessageBoxHandler(std::move(previous_));
}

QStringList MessageBoxes::texts() const {
    QStringList t;
    for (const auto& b : boxes_) t << b.text;
    return t;
}

FileDialogs::FileDialogs() {
    using serial::ui::FileDialogRequest;
    previous_ = serial::ui::setFileDialogHandler(
        [this](const FileDialogRequest& r) -> std::optional<QString> {
            requests_.push_back(r);
            if (answers_.empty()) return std::nullopt;
            QString path = answers_.front();
            answers_.pop_front();
            return path;
        });
}

FileDialogs::~FileDialogs() {
    serial::ui::setFileDialogHandler(std::move(previous_));
}

QObject& watches() {
    static QObject owner;
    return owner;
}

void stopWatching() {
    for (QObject* watch : watches().children()) delete watch;
}

}  // namespace qttest
