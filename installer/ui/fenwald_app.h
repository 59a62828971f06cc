// CfenwaldApp, the firmware installer as a windowed program: runs the main window modally with
// the start file of the command line; the program ends when it closes.
//
// SIGINT, SIGTERM and SIGHUP close the window without asking: a running job is cancelled (the
// window waits a few seconds at most for the loader to finish), the settings are saved and the
// program exits 0.
#pragma once

#include <QApplication>
#include <string>

class CfenwaldApp : public QApplication {
    Q_OBJECT
public:
    CfenwaldApp(int& argc, char** argv);
    // 0 when the window has closed.
    int Run();

private:
    std::string startArgument_;
};
