#pragma once
// The worker threads of a run. The run driver owns one Workers object and
// lends it to an operation for one call; the calling thread is always one of
// the workers. Work is handed out in two shapes:
//
//   forEachBlock  independent blocks (examinees, items, rows of a file): any
//                 worker runs any block, the call returns when all have run;
//   runTeam       a team whose members run at the same time and meet at a
//                 barrier (Team::sync) between the steps of a sequential loop.
//
// Neither changes what a block computes: an operation that keeps every sum
// inside one block gives the same bits for any number of workers. Workers
// never print; a block's exception is carried to the caller.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <thread>
#include <type_traits>
#include <vector>

namespace tavrel {

class Interruption;

// Part `part` of `count` things cut in order into `parts` parts whose sizes
// differ by at most one: things [begin, end).
struct BlockRange {
    std::size_t begin;
    std::size_t end;
};
BlockRange blockRange(std::size_t count, std::size_t parts, std::size_t part);

// The most workers a run starts.
inline constexpr std::size_t kMostWorkers = 256;
// Bytes of a cache line: data that different threads write stay this far
// apart, so that no two threads write to one line.
inline constexpr std::size_t kCacheLine = 64;

// A 32-bit value that threads wait on. A waiter spins for about
// 2 microseconds, then yields its processor for up to about 50 (it gives way
// on a busy machine but its processor stays awake, ready for the next short
// wait), then blocks in std::atomic::wait. Changing the value makes a system
// call only when a thread is blocked on it.
class Signal {
public:
    std::uint32_t load() const { return value_.load(std::memory_order_acquire); }
    void store(std::uint32_t value) { value_.store(value, std::memory_order_seq_cst); wake(); }
    void add(std::uint32_t delta) { value_.fetch_add(delta, std::memory_order_seq_cst); wake(); }
    void subtract(std::uint32_t delta) { value_.fetch_sub(delta, std::memory_order_seq_cst); wake(); }
    void setBits(std::uint32_t bits) { value_.fetch_or(bits, std::memory_order_seq_cst); wake(); }
    // Returns once the value differs from `old`.
    void awaitChange(std::uint32_t old) const;

private:
    void wake() {
        if (sleepers_.load(std::memory_order_seq_cst) != 0) value_.notify_all();
    }
    std::atomic<std::uint32_t> value_{0};
    mutable std::atomic<std::uint32_t> sleepers_{0};
};

// A reusable barrier for a fixed number of parties, each arriving under its
// own index, and able to hand a few values to the others as it arrives. Each
// party has two slots (for odd and even meetings) of whole cache lines: its
// values, then its arrival count in the last 8 bytes. A party writes only its
// own slots and waits until every other party's count has caught up, so a
// meeting moves each party's slot once to the others, values included; the
// slot of the next meeting can be written while the others still read this one.
class SpinBarrier {
public:
    struct BarrierBroken {};

    SpinBarrier(std::size_t parties, std::size_t values);
    // Where `party` puts the values it hands over at meeting `meeting`
    // (counted from 1), and where the others find them after it.
    double* message(std::size_t party, std::uint32_t meeting) const;
    void arriveAndWait(std::size_t party, std::uint32_t meeting);
    // For a party that stops before its last meeting: every wait for it,
    // from then on, throws BarrierBroken instead of waiting forever.
    void leave(std::size_t party);

private:
    static constexpr std::uint32_t kGone = 1u << 31;  // the rest is the meeting, modulo 2^31
    static constexpr std::size_t kLine = kCacheLine;
    struct AlignedDelete {
        void operator()(unsigned char* bytes) const { ::operator delete[](bytes, std::align_val_t{kLine}); }
    };
    unsigned char* slot(std::size_t party, std::uint32_t meeting) const {
        return storage_.get() + (2 * party + meeting % 2) * slotBytes_;
    }
    Signal& count(std::size_t party, std::uint32_t meeting) const;

    std::size_t parties_;
    std::size_t slotBytes_;  // whole cache lines
    std::unique_ptr<unsigned char[], AlignedDelete> storage_;
};

// A member's view of the team it runs in.
class Team {
public:
    Team(std::size_t member, std::size_t size, SpinBarrier* barrier) : member_(member), size_(size), barrier_(barrier) {}
    std::size_t member() const { return member_; }  // 0 is the calling thread
    std::size_t size() const { return size_; }
    // Returns once every member has called it as often: what a member wrote
    // before is visible to all after.
    void sync() {
        ++meetings_;
        if (size_ > 1) barrier_->arriveAndWait(member_, meetings_);
    }
    // The values this member hands to the others with its next sync() (as
    // many as runTeam was asked for), and those that `member` handed with
    // the last one; they travel with the meeting itself.
    double* message() const { return barrier_->message(member_, meetings_ + 1); }
    const double* messageOf(std::size_t member) const { return barrier_->message(member, meetings_); }

private:
    std::size_t member_;
    std::size_t size_;
    SpinBarrier* barrier_;
    std::uint32_t meetings_ = 0;
};

class Workers {
public:
    // Starts threads - 1 threads beside the caller (at least one worker, at
    // most kMostWorkers). A thread that cannot be started leaves fewer workers; the
    // results are the same. `processors` (0: as many as threads) bounds the
    // members of a team, who must all run at once.
    explicit Workers(std::size_t threads = 1, std::size_t processors = 0);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // The workers, the calling thread included.
    std::size_t count() const { return threads_.size() + 1; }
    // The largest team: min(count(), processors).
    std::size_t teamLimit() const { return teamLimit_; }
    // Polled by the calling thread before each block it runs, so that an
    // operation can be stopped between blocks (null: never).
    void setInterruption(Interruption* interruption) { interruption_ = interruption; }
    // Asks the interruption, if any, whether to stop (Cancelled): poll()
    // when its interval has passed and on the calling thread only, ask() now.
    void poll() const;
    void ask() const;

    // How many blocks to cut `n` things into: `perWorker` blocks per worker,
    // no more than there are things, at least one. One worker: one block.
    // With `most` above 0, blocks of at most that many things (so that the
    // calling thread polls between them).
    std::size_t blocksFor(std::size_t n, std::size_t perWorker = 1, std::size_t most = 0) const {
        std::size_t blocks = count() == 1 ? 1 : count() * perWorker;
        if (most > 0) blocks = std::max(blocks, (n + most - 1) / most);
        return n < blocks ? (n == 0 ? 1 : n) : blocks;
    }

    // Runs body(block) for every block in [0, blocks) and returns when all
    // have run. If blocks throw, the exception of the lowest-numbered one is
    // rethrown here (blocks after it may be skipped). A body must not use this
    // object itself.
    template <class Body>
    void forEachBlock(std::size_t blocks, Body&& body) {
        if (blocks == 0) return;
        if (threads_.empty() || blocks == 1) {
            for (std::size_t b = 0; b < blocks; ++b) {
                poll();
                body(b);
            }
            return;
        }
        run({&invokeBlock<std::remove_reference_t<Body>>, &body, blocks, nullptr});
    }

    // The members that runTeam(members) runs.
    std::size_t teamSize(std::size_t members) const {
        return members < teamLimit_ ? (members == 0 ? 1 : members) : teamLimit_;
    }

    // Runs body(Team&) on teamSize(members) members at the same time, member
    // 0 on the calling thread, and returns when all have finished. Each member
    // may hand `messageValues` doubles to the others at every meeting. An
    // exception in a member releases the others from their meetings and
    // reaches the caller (the lowest-numbered member's).
    template <class Body>
    void runTeam(std::size_t members, std::size_t messageValues, Body&& body) {
        members = teamSize(members);
        SpinBarrier barrier(members, messageValues);
        if (members == 1) {
            Team team(0, 1, &barrier);
            body(team);
            return;
        }
        run({&invokeMember<std::remove_reference_t<Body>>, &body, members, &barrier});
    }

private:
    struct Job {
        void (*invoke)(void* body, std::size_t index, SpinBarrier* barrier, std::size_t size);
        void* body;
        std::size_t tasks;      // blocks, or team members
        SpinBarrier* barrier;   // a team's; null for blocks
    };
    struct Shared;

    template <class Body>
    static void invokeBlock(void* body, std::size_t block, SpinBarrier*, std::size_t) {
        (*static_cast<Body*>(body))(block);
    }
    template <class Body>
    static void invokeMember(void* body, std::size_t member, SpinBarrier* barrier, std::size_t size) {
        Team team(member, size, barrier);
        (*static_cast<Body*>(body))(team);
    }

    void run(const Job& job);
    static void work(Shared& shared);
    static void take(Shared& shared, const Workers* caller);

    std::unique_ptr<Shared> shared_;
    std::vector<std::thread> threads_;
    std::size_t teamLimit_ = 1;
    Interruption* interruption_ = nullptr;
};

// Examinees per block where a stop is to be noticed within a pass: a few
// milliseconds of work even for long rows.
inline constexpr std::size_t kPollRows = 4096;

// Cuts `count` things into the workers' blocks (perWorker per worker, at most
// `most` things each when above 0) and calls body(begin, end) for each block's range [begin, end) on the workers.
template <class Body>
void forEachRange(Workers& workers, std::size_t count, std::size_t perWorker, Body&& body, std::size_t most = 0) {
    const std::size_t blocks = workers.blocksFor(count, perWorker, most);
    workers.forEachBlock(blocks, [&](std::size_t b) {
        const BlockRange range = blockRange(count, blocks, b);
        body(range.begin, range.end);
    });
}

}  // namespace tavrel
