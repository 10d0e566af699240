#pragma once
// Asks the observer whether to stop, on the thread that runs the operation:
// once per pass, and between blocks of work at most every few hundredths of
// a second. A yes throws Cancelled there, and from then on on every other
// thread that polls, so that work running beside it stops too.

#include <atomic>
#include <chrono>
#include <thread>

#include "tavrel/observer.hpp"

namespace tavrel {

class Interruption {
public:
    explicit Interruption(Observer& observer)
        : observer_(observer), owner_(std::this_thread::get_id()), last_(Clock::now()) {}

    // Asks now on the owner's thread (once per pass).
    void ask() { check(true); }
    // Asks on the owner's thread when the last question is kInterval old.
    // Cheap enough between blocks of rows.
    void poll() { check(false); }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{40};

    void check(bool now) {
        if (stopped_.load(std::memory_order_relaxed)) throw Cancelled();
        if (std::this_thread::get_id() != owner_) return;
        const Clock::time_point time = Clock::now();
        if (!now && time - last_ < kInterval) return;
        last_ = time;
        if (!observer_.stopRequested()) return;
        stopped_.store(true, std::memory_order_relaxed);
        throw Cancelled();
    }

    Observer& observer_;
    std::thread::id owner_;
    Clock::time_point last_;
    std::atomic<bool> stopped_{false};
};

}  // namespace tavrel
