// CfenwaldApp, the firmware installer as a windowed program: runs the main window modally with
// the start file of the command line; the program ends when it closes.
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
