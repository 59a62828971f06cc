#include "picture/ui/gui_call_bridge.h"

#include <QThread>
#include <algorithm>

namespace pictavo {

struct GuiCallBridge::Pending {
    enum class State { Queued, Running, Done, Refused };
    std::function<void()> work;
    State state = State::Queued;
};

GuiCallBridge::GuiCallBridge() = default;

GuiCallBridge::~GuiCallBridge() {
    Close();
    // A released caller still needs the lock to leave Call().
    std::unique_lock l(lock_);
    changed_.wait(l, [&] { return waiters_ == 0; });
}

bool GuiCallBridge::Call(std::function<void()> work) {
    if (QThread::currentThread() == receiver_.thread()) {
        ++running_;
        work();
        --running_;
        return true;
    }
    auto pending = std::make_shared<Pending>();
    pending->work = std::move(work);
    std::unique_lock l(lock_);
    if (closed_ || refusals_ > 0) return false;
    queued_.push_back(pending);
    // Posted under the lock, so Close() cannot destroy the receiver in between.
    QMetaObject::invokeMethod(&receiver_, [this, pending] { run(pending); }, Qt::QueuedConnection);
    ++waiters_;
    changed_.wait(l, [&] { return pending->state == Pending::State::Done || pending->state == Pending::State::Refused; });
    --waiters_;
    // Under the lock: the destructor may go ahead the moment it is released.
    changed_.notify_all();
    return pending->state == Pending::State::Done;
}

void GuiCallBridge::run(const std::shared_ptr<Pending>& pending) {
    {
        std::lock_guard l(lock_);
        if (pending->state != Pending::State::Queued) return;
        pending->state = Pending::State::Running;
        queued_.erase(std::remove(queued_.begin(), queued_.end(), pending), queued_.end());
    }
    ++running_;
    pending->work();
    --running_;
    {
        std::lock_guard l(lock_);
        pending->state = Pending::State::Done;
        pending->work = nullptr;
    }
    changed_.notify_all();
}

void GuiCallBridge::refuseQueued() {
    for (auto& p : queued_) p->state = Pending::State::Refused;
    queued_.clear();
}

GuiCallBridge::Refusal::Refusal(GuiCallBridge& bridge) : bridge_(bridge) {
    {
        std::lock_guard l(bridge_.lock_);
        ++bridge_.refusals_;
        bridge_.refuseQueued();
    }
    bridge_.changed_.notify_all();
}

GuiCallBridge::Refusal::~Refusal() {
    std::lock_guard l(bridge_.lock_);
    --bridge_.refusals_;
}

void GuiCallBridge::Close() {
    {
        std::lock_guard l(lock_);
        closed_ = true;
        refuseQueued();
    }
    changed_.notify_all();
}

bool GuiCallBridge::Closed() const {
    std::lock_guard l(lock_);
    return closed_;
}

}  // namespace pictavo
