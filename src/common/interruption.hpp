#pragma once
// Asks the observer whether to stop, on the thread that runs the operation:
// once per pass, and between blocks of work at most every few hundredths of
// a second. A yes throws Cancelled.

#include <chrono>
#include <thread>

#include "tavrel/observer.hpp"

namespace tavrel {

class Interruption {
public:
    explicit Interruption(Observer& observer)
        : observer_(observer), owner_(std::this_thread::get_id()), last_(Clock::now()) {}

    // Asks now (on the owner's thread).
    void ask() {
        last_ = Clock::now();
        if (observer_.stopRequested()) throw Cancelled();
    }

    // On the owner's thread, asks when the last question is kInterval old;
    // on any other thread does nothing. Cheap enough between blocks of rows.
    void poll() {
        if (std::this_thread::get_id() != owner_) return;
        if (Clock::now() - last_ >= kInterval) ask();
    }

private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kInterval{40};
    Observer& observer_;
    std::thread::id owner_;
    Clock::time_point last_;
};

}  // namespace tavrel
