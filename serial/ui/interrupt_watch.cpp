#include "serial/ui/interrupt_watch.h"

#include <QObject>
#include <QSocketNotifier>

#include "platform/console.h"

namespace serial::ui {

void watchInterrupts(QObject& owner, std::function<void()> onInterrupt) {
    platform::catchInterrupts(platform::InterruptMode::Cancel);
    const int fd = platform::interruptDescriptor();
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &owner);
    QObject::connect(notifier, &QSocketNotifier::activated, &owner,
                     [handler = std::move(onInterrupt)] {
                         platform::takeInterruptWakeups();
                         handler();
                     });
}

}  // namespace serial::ui
