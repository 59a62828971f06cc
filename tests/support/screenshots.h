// What the programs' screenshot takers (tests/*/window_screenshots.cpp) share: a scratch folder
// the windows work in, message boxes that wait for nobody, waiting while events are processed,
// and writing what a window shows into a PNG file.
#pragma once

#include <QDir>
#include <QString>
#include <functional>
#include <string>

class QWidget;

namespace screenshots {

struct Scratch {
    std::string folder;   // empty when it could not be made
    std::string portMap;  // empty, named by VELTRIX_PORTS
};
// Makes /tmp/PREFIX-XXXXXX with an empty port map and points the port map, the settings and
// the temporary files there.
Scratch enterScratchFolder(const char* prefix);

// Message boxes are printed on standard error and answered OK.
void printMessageBoxes();

// Processes events for ms milliseconds.
void settle(int ms = 150);
// Processes events until cond holds or ms milliseconds have passed.
bool waitFor(const std::function<bool()>& cond, int ms);

// Writes the screenshots into one folder and counts what went wrong.
class Camera {
public:
    explicit Camera(const QString& folder);
    // What w shows now, into NAME.png; prints its path and size.
    void save(QWidget& w, const QString& name);
    // Shows w on top, lets it settle, and saves it.
    void shoot(QWidget& w, const QString& name);
    void fail() { ++failures_; }
    int failures() const { return failures_; }

private:
    QDir out_;
    int failures_ = 0;
};

}  // namespace screenshots
