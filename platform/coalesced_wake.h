// A wake-up that many threads may ring and that runs its consumer once for all the rings that
// came before the consumer started: the window's side of a MessageQueue (serial/ui/queue_drain.h
// posts the consumer's run as a queued call; a test may post it to a thread of its own).
//
// wake() from any thread posts one run unless one is posted and not yet started; the consumer
// calls started() first in its run and then takes everything queued, so a ring during the run
// posts the next one and none is lost between the two.
#pragma once

#include <atomic>
#include <functional>
#include <utility>

namespace platform {

class CoalescedWake {
public:
    // post must not block; it runs on the ringing thread.
    explicit CoalescedWake(std::function<void()> post) : post_(std::move(post)) {}
    CoalescedWake(const CoalescedWake&) = delete;
    CoalescedWake& operator=(const CoalescedWake&) = delete;

    void wake() {
        if (!posted_.exchange(true)) post_();
    }
    // The consumer's thread, before it looks for work.
    void started() { posted_ = false; }

private:
    std::function<void()> post_;
    std::atomic<bool> posted_{false};
};

}  // namespace platform
