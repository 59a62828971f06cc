#include "tests/support/screenshots.h"

#include <QApplication>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "serial/ui/dialog_seams.h"

namespace screenshots {

Scratch enterScratchFolder(const char* prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data())) return {};
    Scratch s{pattern, pattern + "/ports"};
    std::fclose(std::fopen(s.portMap.c_str(), "w"));
    ::setenv("VELTRIX_PORTS", s.portMap.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", s.folder.c_str(), 1);
    ::setenv("TMPDIR", s.folder.c_str(), 1);
    return s;
}

void printMessageBoxes() {
    serial::ui::setMessageBoxHandler([](const serial::ui::MessageBoxRequest& r) {
        std::fprintf(stderr, "message: %s\n", qPrintable(r.text));
        return QMessageBox::Ok;
    });
}

void settle(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < until) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool waitFor(const std::function<bool()>& cond, int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > until) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

Camera::Camera(const QString& folder) : out_(folder) {
    out_.mkpath(QStringLiteral("."));
}

void Camera::save(QWidget& w, const QString& name) {
    const QString path = out_.filePath(name + ".png");
    if (w.grab().save(path)) {
        std::printf("%s  %dx%d\n", qPrintable(path), w.width(), w.height());
    } else {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures_;
    }
}

void Camera::shoot(QWidget& w, const QString& name) {
    w.show();
    w.raise();
    w.activateWindow();
    settle();
    save(w, name);
}

}  // namespace screenshots
