#include "serial/ui/queue_drain.h"

namespace serial::ui {

GuiWakeup::GuiWakeup(std::function<void()> run, int delayMs)
    : run_(std::move(run)), wake_([this] {
          QMetaObject::invokeMethod(
              &receiver_,
              [this] {
                  if (delay_.interval() > 0)
                      delay_.start();
                  else
                      fire();
              },
              Qt::QueuedConnection);
      }) {
    delay_.setSingleShot(true);
    delay_.setInterval(delayMs);
    QObject::connect(&delay_, &QTimer::timeout, &receiver_, [this] { fire(); });
}

GuiWakeup::~GuiWakeup() {
    delay_.stop();
}

void GuiWakeup::wake() {
    wake_.wake();
}

void GuiWakeup::fire() {
    // A wake-up during the run schedules the next one.
    wake_.started();
    run_();
}

}  // namespace serial::ui
