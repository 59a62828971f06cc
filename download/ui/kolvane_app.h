// CKolvaneApp, the download tool as a windowed program: creates the main window with its
// document and views, shows it and runs until it is closed.
//
// SIGINT, SIGTERM and SIGHUP (Ctrl+C in the terminal it was started from, a session ending,
// the terminal closed) close the main window as its Exit item does, without asking, so the
// worker stops and the line is closed before the program ends.
#pragma once

#include <QApplication>

class CMainFrame;
class CKolvaneView;
class CZ7ImageView;

class CKolvaneApp : public QApplication {
    Q_OBJECT
public:
    CKolvaneApp(int& argc, char** argv);
    ~CKolvaneApp() override;
    // Shows the main window and runs the event loop; 0 when the window has closed.
    int Run();

    CMainFrame* MainFrame() const { return frame_; }
    CKolvaneView* LogView() const;
    CZ7ImageView* ImageView() const;

private:
    void CloseOnSignals();

    CMainFrame* frame_ = nullptr;
};
