// The one QApplication a Qt test process needs; each test case may be the first to run.
#pragma once

#include <QApplication>

namespace qttest {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "serial_ui_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
}

}  // namespace qttest
