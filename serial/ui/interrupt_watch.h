// How a window program learns that it is told to stop: Ctrl+C in the terminal it was started
// from, SIGTERM (a session ending), SIGHUP (the terminal closed). The signals only set the
// process's interrupt flag (platform/console.h, InterruptMode::Cancel: none of them ends the
// program by itself); the handler runs on the GUI thread, from the event loop, once or more
// per burst of signals. It should close the window as Exit does, without asking, so jobs are
// cancelled and lines closed before the program ends. GUI thread; the watch lives as long as
// owner.
#pragma once

#include <functional>

class QObject;

namespace serial::ui {

void watchInterrupts(QObject& owner, std::function<void()> onInterrupt);

}  // namespace serial::ui
