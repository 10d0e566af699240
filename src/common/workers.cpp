#include "common/workers.hpp"

#include <chrono>
#include <functional>
#include <limits>
#include <mutex>
#include <utility>

namespace tavrel {

BlockRange blockRange(std::size_t count, std::size_t parts, std::size_t part) {
    const std::size_t base = count / parts;
    const std::size_t extra = count % parts;
    // The first `extra` parts hold one thing more.
    const std::size_t begin = part * base + (part < extra ? part : extra);
    return {begin, begin + base + (part < extra ? 1 : 0)};
}

namespace {

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

}  // namespace

void awaitChange(const std::atomic<std::uint32_t>& value, std::uint32_t old) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kSpin = std::chrono::microseconds(2);
    const Clock::time_point start = Clock::now();
    do {
        for (int i = 0; i < 16; ++i) {
            if (value.load(std::memory_order_acquire) != old) return;
            relax();
        }
    } while (Clock::now() - start < kSpin);
    value.wait(old, std::memory_order_acquire);
}

SpinBarrier::SpinBarrier(std::size_t parties) : parties_(static_cast<std::uint32_t>(parties)) {}

// The generation advances by 2 each time the parties meet; breakDown sets its
// lowest bit. A waiter released by a meeting returns even if the barrier
// breaks at the same moment: it will learn of it at its next wait.
void SpinBarrier::arriveAndWait() {
    const std::uint32_t generation = generation_.load(std::memory_order_acquire);
    if (generation & kBroken) throw BarrierBroken{};
    if (arrived_.fetch_add(1, std::memory_order_acq_rel) + 1 == parties_) {
        // Every party has arrived, so none touches the count until it sees
        // the next generation.
        arrived_.store(0, std::memory_order_relaxed);
        generation_.fetch_add(2, std::memory_order_release);
        generation_.notify_all();
        return;
    }
    awaitChange(generation_, generation);
    if ((generation_.load(std::memory_order_acquire) & ~kBroken) == generation) throw BarrierBroken{};
}

void SpinBarrier::breakDown() {
    generation_.fetch_or(kBroken, std::memory_order_release);
    generation_.notify_all();
}

// What the caller and the threads share. The job fields are written by the
// caller before it advances `epoch` (release) and read by the threads after
// they see it advance (acquire); the caller writes the next job only after
// every thread has left the current one.
struct Workers::Shared {
    alignas(64) std::atomic<std::uint32_t> epoch{0};
    Job job{};
    SpinBarrier* barrier = nullptr;
    bool stop = false;

    alignas(64) std::atomic<std::size_t> next{0};  // the next block or member to take
    alignas(64) std::atomic<std::uint32_t> running{0};  // threads still in the job

    // The failure of the lowest-numbered block or member.
    std::atomic<std::size_t> firstFailure{std::numeric_limits<std::size_t>::max()};
    std::mutex failureLock;
    std::exception_ptr failure;

    void fail(std::size_t index, std::exception_ptr exception) {
        const std::lock_guard<std::mutex> lock(failureLock);
        if (index >= firstFailure.load(std::memory_order_relaxed)) return;
        firstFailure.store(index, std::memory_order_relaxed);
        failure = std::move(exception);
    }
};

Workers::Workers(std::size_t threads, std::size_t processors) {
    if (threads > 256) threads = 256;
    if (threads > 1) {
        try {
            shared_ = std::make_unique<Shared>();
            threads_.reserve(threads - 1);
            for (std::size_t t = 1; t < threads; ++t) threads_.emplace_back(&Workers::work, std::ref(*shared_));
        } catch (...) {
            // Fewer workers: the ones started so far, possibly none.
        }
    }
    const std::size_t limit = processors == 0 ? count() : processors;
    teamLimit_ = limit < count() ? (limit == 0 ? 1 : limit) : count();
}

Workers::~Workers() {
    if (threads_.empty()) return;
    shared_->stop = true;
    shared_->epoch.fetch_add(1, std::memory_order_release);
    shared_->epoch.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

void Workers::run(const Job& job) {
    Shared& shared = *shared_;
    SpinBarrier barrier(job.team ? job.tasks : 1);
    shared.job = job;
    shared.barrier = &barrier;
    shared.failure = nullptr;
    shared.firstFailure.store(std::numeric_limits<std::size_t>::max(), std::memory_order_relaxed);
    // Member 0 of a team is the caller; the threads take the others.
    shared.next.store(job.team ? 1 : 0, std::memory_order_relaxed);
    shared.running.store(static_cast<std::uint32_t>(threads_.size()), std::memory_order_relaxed);
    shared.epoch.fetch_add(1, std::memory_order_release);
    shared.epoch.notify_all();

    take(shared, true);
    for (std::uint32_t left; (left = shared.running.load(std::memory_order_acquire)) != 0;)
        awaitChange(shared.running, left);
    shared.barrier = nullptr;
    if (shared.failure) std::rethrow_exception(std::exchange(shared.failure, nullptr));
}

void Workers::work(Shared& shared) {
    std::uint32_t seen = 0;
    for (;;) {
        awaitChange(shared.epoch, seen);
        seen = shared.epoch.load(std::memory_order_acquire);
        if (shared.stop) return;
        take(shared, false);
        if (shared.running.fetch_sub(1, std::memory_order_acq_rel) == 1) shared.running.notify_one();
    }
}

void Workers::take(Shared& shared, bool caller) {
    const Job& job = shared.job;
    const auto runOne = [&](std::size_t index) {
        try {
            job.invoke(job.body, index, shared.barrier, job.tasks);
        } catch (const SpinBarrier::BarrierBroken&) {
            // Another member failed; its exception is the one reported.
        } catch (...) {
            shared.fail(index, std::current_exception());
            if (job.team) shared.barrier->breakDown();
        }
    };
    if (job.team) {
        const std::size_t member = caller ? 0 : shared.next.fetch_add(1, std::memory_order_relaxed);
        if (member < job.tasks) runOne(member);
        return;
    }
    for (;;) {
        const std::size_t block = shared.next.fetch_add(1, std::memory_order_relaxed);
        if (block >= job.tasks) return;
        // A block after a failed one cannot change which failure is reported.
        if (block > shared.firstFailure.load(std::memory_order_relaxed)) continue;
        runOne(block);
    }
}

}  // namespace tavrel
