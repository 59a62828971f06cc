#include "picture/engine/messages.h"

#include <cstdio>
#include <mutex>

namespace picture {

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

MessageHandler SetMessageHandler(MessageHandler h) {
    std::lock_guard l(handlerLock());
    std::swap(handler(), h);
    return h;
}

void ShowMessage(const Message& message) {
    MessageHandler h;
    {
        std::lock_guard l(handlerLock());
        h = handler();
    }
    if (h) h(message);
    else std::fprintf(stderr, "%s\n", message.text.c_str());
}

}  // namespace picture
