#include "download/engine/multi_thread.h"

#include "download/engine/debug_output.h"

namespace kolvane {

bool CMultiThread::Create(std::chrono::milliseconds idleWait) {
    return worker_.start(idleWait);
}

void CMultiThread::PostThreadCommand(int command, std::int64_t argument) {
    PostThreadMessage(encodeCommand(command), {argument, {}});
}

void CMultiThread::PostThreadCommand(int command, std::string text) {
    PostThreadMessage(encodeCommand(command), {0, std::move(text)});
}

void CMultiThread::PostThreadMessage(std::uint32_t word, CommandArgument argument) {
    worker_.post({word, std::move(argument)});
}

void CMultiThread::onEnd() {
    debugOutput("End App (CMultiThread)");
}

}  // namespace kolvane
