// One deadline type for every bounded wait: start it with a duration, ask what remains.
#pragma once

#include <algorithm>
#include <chrono>

namespace platform {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class Deadline {
public:
    explicit Deadline(milliseconds d) : end_(Clock::now() + d) {}
    static Deadline never() { return Deadline(Clock::time_point::max()); }

    bool isNever() const { return end_ == Clock::time_point::max(); }
    bool expired() const { return !isNever() && Clock::now() >= end_; }
    Clock::time_point end() const { return end_; }

    Clock::duration remaining() const {
        if (isNever()) return Clock::duration::max();
        return std::max(Clock::duration::zero(), end_ - Clock::now());
    }
    // For poll(): milliseconds rounded up, -1 for no limit.
    int pollTimeout() const {
        if (isNever()) return -1;
        auto us = std::chrono::duration_cast<std::chrono::microseconds>(remaining()).count();
        return static_cast<int>((us + 999) / 1000);
    }

private:
    explicit Deadline(Clock::time_point end) : end_(end) {}
    Clock::time_point end_;
};

}  // namespace platform
