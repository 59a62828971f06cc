#include "picture/engine/messages.h"

#include <mutex>

#include "platform/trace.h"

namespace pictavo {

namespace {

std::mutex& handlerLock() {
    static std::mutex m;
    return m;
}
MessageHandler& handler() {
    static MessageHandler h;
    return h;
}

}  // namespace

MessageHandler setMessageHandler(MessageHandler h) {
    std::lock_guard l(handlerLock());
    std::swap(handler(), h);
    return h;
}

Message messageOf(const platform::Report& report) {
    using Severity = platform::Report::Severity;
    switch (report.severity) {
        case Severity::Error:
            return Message{report.text, "Error", MessageIcon::Error, report.topmost};
        case Severity::Information:
        case Severity::Warning:
            return Message{report.text, {}, MessageIcon::Information, report.topmost};
        case Severity::Plain:
            break;
    }
    return Message{report.text, {}, MessageIcon::None, report.topmost};
}

void showMessage(const Message& message) {
    MessageHandler h;
    {
        std::lock_guard l(handlerLock());
        h = handler();
    }
    if (h)
        h(message);
    else
        platform::trace::errorLine(message.text);
}

}  // namespace pictavo
