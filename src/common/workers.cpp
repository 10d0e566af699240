#include "common/workers.hpp"

#include "common/interruption.hpp"

#include <chrono>
#include <functional>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
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

void Signal::awaitChange(std::uint32_t old) const {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    do {
        for (int i = 0; i < 16; ++i) {
            if (load() != old) return;
            relax();
        }
    } while (Clock::now() - start < std::chrono::microseconds(2));
    // A blocked thread's processor may sleep, and waking it costs far more
    // than 2 microseconds: a thread that blocked in one short wait would make
    // its partner wait long at the next.
    do {
        std::this_thread::yield();
        if (load() != old) return;
    } while (Clock::now() - start < std::chrono::microseconds(50));
    sleepers_.fetch_add(1, std::memory_order_seq_cst);
    if (value_.load(std::memory_order_seq_cst) == old) value_.wait(old, std::memory_order_acquire);
    sleepers_.fetch_sub(1, std::memory_order_relaxed);
}

SpinBarrier::SpinBarrier(std::size_t parties, std::size_t values)
    : parties_(parties),
      slotBytes_((values * sizeof(double) + sizeof(double) + kLine - 1) / kLine * kLine),
      storage_(static_cast<unsigned char*>(::operator new[](2 * parties * slotBytes_, std::align_val_t{kLine}))) {
    // The count takes the slot's last 8 bytes; the values before it are
    // doubles, which the allocation itself brings into being.
    static_assert(sizeof(Signal) <= sizeof(double) && alignof(Signal) <= alignof(double));
    for (std::size_t party = 0; party < parties; ++party)
        for (std::uint32_t parity = 0; parity < 2; ++parity) new (slot(party, parity) + slotBytes_ - sizeof(double)) Signal();
}

double* SpinBarrier::message(std::size_t party, std::uint32_t meeting) const {
    return std::launder(reinterpret_cast<double*>(slot(party, meeting)));
}

Signal& SpinBarrier::count(std::size_t party, std::uint32_t meeting) const {
    return *std::launder(reinterpret_cast<Signal*>(slot(party, meeting) + slotBytes_ - sizeof(double)));
}

void SpinBarrier::arriveAndWait(std::size_t party, std::uint32_t meeting) {
    const std::uint32_t mine = meeting & ~kGone;
    count(party, meeting).store(mine);
    for (std::size_t other = 0; other < parties_; ++other) {
        if (other == party) continue;
        const Signal& theirs = count(other, meeting);
        for (std::uint32_t seen = theirs.load();; seen = theirs.load()) {
            // Caught up: at most 2^30 meetings behind or ahead, modulo 2^31.
            if (((seen - mine) & ~kGone) < (kGone >> 1)) break;
            if (seen & kGone) throw BarrierBroken{};
            theirs.awaitChange(seen);
        }
    }
}

void SpinBarrier::leave(std::size_t party) {
    count(party, 0).setBits(kGone);
    count(party, 1).setBits(kGone);
}

// What the caller and the threads share. The job fields are written by the
// caller before it advances `epoch` (release) and read by the threads after
// they see it advance (acquire); the caller writes the next job only after
// every thread has left the current one.
struct Workers::Shared {
    alignas(kCacheLine) Signal epoch;
    Job job{};
    bool stop = false;

    alignas(kCacheLine) std::atomic<std::size_t> next{0};  // the next block or member to take
    alignas(kCacheLine) Signal running;  // threads still in the job

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
    if (threads > kMostWorkers) threads = kMostWorkers;
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
    shared_->epoch.add(1);
    for (std::thread& thread : threads_) thread.join();
}

void Workers::run(const Job& job) {
    Shared& shared = *shared_;
    shared.job = job;
    shared.failure = nullptr;
    shared.firstFailure.store(std::numeric_limits<std::size_t>::max(), std::memory_order_relaxed);
    // Member 0 of a team is the caller; the threads take the others.
    shared.next.store(job.barrier != nullptr ? 1 : 0, std::memory_order_relaxed);
    shared.running.store(static_cast<std::uint32_t>(threads_.size()));
    shared.epoch.add(1);

    take(shared, this);
    for (std::uint32_t left; (left = shared.running.load()) != 0;) shared.running.awaitChange(left);
    if (shared.failure) std::rethrow_exception(std::exchange(shared.failure, nullptr));
}

void Workers::work(Shared& shared) {
    std::uint32_t seen = 0;
    for (;;) {
        shared.epoch.awaitChange(seen);
        seen = shared.epoch.load();
        if (shared.stop) return;
        take(shared, nullptr);
        shared.running.subtract(1);
    }
}

void Workers::poll() const {
    if (interruption_ != nullptr) interruption_->poll();
}

void Workers::ask() const {
    if (interruption_ != nullptr) interruption_->ask();
}

// `caller`: the Workers object when the calling thread takes, null for a thread.
void Workers::take(Shared& shared, const Workers* caller) {
    const Job& job = shared.job;
    const auto runOne = [&](std::size_t index) {
        try {
            // A stop between blocks fails the block it would have run.
            if (caller != nullptr && job.barrier == nullptr) caller->poll();
            job.invoke(job.body, index, job.barrier, job.tasks);
        } catch (const SpinBarrier::BarrierBroken&) {
            // Another member failed; its exception is the one reported.
            job.barrier->leave(index);
        } catch (...) {
            shared.fail(index, std::current_exception());
            if (job.barrier != nullptr) job.barrier->leave(index);
        }
    };
    if (job.barrier != nullptr) {
        const std::size_t member = caller != nullptr ? 0 : shared.next.fetch_add(1, std::memory_order_relaxed);
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
