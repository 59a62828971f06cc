// CPictavoApp, the picture tool as a windowed program: runs the main dialog modally; the
// program ends when it closes.
#pragma once

#include <QApplication>

class CPictavoApp : public QApplication {
    Q_OBJECT
public:
    CPictavoApp(int& argc, char** argv);
    // Runs the main dialog; 0 when it ends.
    int Run();
};
