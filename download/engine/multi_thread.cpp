#include "download/engine/multi_thread.h"

#include "download/engine/debug_output.h"

namespace kolvane {

CMultiThread::~CMultiThread() { Destroy(); }

bool CMultiThread::Create(std::chrono::milliseconds idleWait) {
    if (IsRunning()) return false;
    stop_ = false;
    idleWait_ = idleWait;
    stopConfirmation_.reset();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CMultiThread::Destroy() {
    if (!IsRunning()) return;
    stop_ = true;
    PostThreadMessage(1, {});  // wake-up: a word that is no command
    stopConfirmation_.wait(std::chrono::milliseconds(-1));
    thread_.join();
}

void CMultiThread::PostThreadCommand(int command, std::int64_t argument) {
    PostThreadMessage(encodeCommand(command), {argument, {}});
}

void CMultiThread::PostThreadCommand(int command, std::string text) {
    PostThreadMessage(encodeCommand(command), {0, std::move(text)});
}

void CMultiThread::PostThreadMessage(std::uint32_t word, CommandArgument argument) {
    queue_.push({word, std::move(argument)});
}

void CMultiThread::Run() {
    while (!stop_) {
        auto message = queue_.waitPop(idleWait_);
        if (stop_) break;
        if (message) OnThreadCommand(message->word, message->argument);
        else OnThreadCommand(0, {});
    }
    debugOutput("End App (CMultiThread)");
    stopConfirmation_.set();
}

}  // namespace kolvane
