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

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <thread>
#include <type_traits>
#include <vector>

namespace tavrel {

// Part `part` of `count` things cut in order into `parts` parts whose sizes
// differ by at most one: things [begin, end).
struct BlockRange {
    std::size_t begin;
    std::size_t end;
};
BlockRange blockRange(std::size_t count, std::size_t parts, std::size_t part);

// Spins for about 2 microseconds until `value` differs from `old`, then
// blocks in std::atomic::wait: a short wait costs no system call, a long one
// (more threads than cores, a busy machine) no processor time.
void awaitChange(const std::atomic<std::uint32_t>& value, std::uint32_t old);

// A reusable barrier for a fixed number of parties. breakDown() releases
// every waiter at once and makes every wait from then on throw BarrierBroken:
// a team whose member failed does not wait for it forever.
class SpinBarrier {
public:
    struct BarrierBroken {};

    explicit SpinBarrier(std::size_t parties);
    void arriveAndWait();
    void breakDown();

private:
    static constexpr std::uint32_t kBroken = 1;
    // Arrivals and the generation that waiters watch on lines of their own.
    alignas(64) std::atomic<std::uint32_t> arrived_{0};
    alignas(64) std::atomic<std::uint32_t> generation_{0};
    std::uint32_t parties_;
};

// A member's view of the team it runs in.
class Team {
public:
    Team(std::size_t member, std::size_t size, SpinBarrier& barrier) : member_(member), size_(size), barrier_(barrier) {}
    std::size_t member() const { return member_; }  // 0 is the calling thread
    std::size_t size() const { return size_; }
    // Returns once every member has called it: what a member wrote before is
    // visible to all after.
    void sync() {
        if (size_ > 1) barrier_.arriveAndWait();
    }

private:
    std::size_t member_;
    std::size_t size_;
    SpinBarrier& barrier_;
};

class Workers {
public:
    // Starts threads - 1 threads beside the caller (at least one worker, at
    // most 256). A thread that cannot be started leaves fewer workers; the
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
    // How many blocks to cut `n` things into: `perWorker` blocks per worker,
    // no more than there are things, at least one. One worker: one block.
    std::size_t blocksFor(std::size_t n, std::size_t perWorker = 1) const {
        const std::size_t blocks = count() == 1 ? 1 : count() * perWorker;
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
            for (std::size_t b = 0; b < blocks; ++b) body(b);
            return;
        }
        run({&invokeBlock<std::remove_reference_t<Body>>, &body, blocks, false});
    }

    // Runs body(Team&) on min(members, teamLimit()) members at the same time,
    // member 0 on the calling thread, and returns when all have finished. An
    // exception in a member breaks the team's barrier and reaches the caller
    // (the lowest-numbered member's).
    template <class Body>
    void runTeam(std::size_t members, Body&& body) {
        members = members < teamLimit_ ? (members == 0 ? 1 : members) : teamLimit_;
        if (members == 1) {
            SpinBarrier single(1);
            Team team(0, 1, single);
            body(team);
            return;
        }
        run({&invokeMember<std::remove_reference_t<Body>>, &body, members, true});
    }

private:
    struct Job {
        void (*invoke)(void* body, std::size_t index, SpinBarrier* barrier, std::size_t size);
        void* body;
        std::size_t tasks;  // blocks, or team members
        bool team;
    };
    struct Shared;

    template <class Body>
    static void invokeBlock(void* body, std::size_t block, SpinBarrier*, std::size_t) {
        (*static_cast<Body*>(body))(block);
    }
    template <class Body>
    static void invokeMember(void* body, std::size_t member, SpinBarrier* barrier, std::size_t size) {
        Team team(member, size, *barrier);
        (*static_cast<Body*>(body))(team);
    }

    void run(const Job& job);
    static void work(Shared& shared);
    static void take(Shared& shared, bool caller);

    std::unique_ptr<Shared> shared_;
    std::vector<std::thread> threads_;
    std::size_t teamLimit_ = 1;
};

// Cuts `count` things into the workers' blocks (perWorker per worker) and
// calls body(begin, end) for each block's range [begin, end) on the workers.
template <class Body>
void forEachRange(Workers& workers, std::size_t count, std::size_t perWorker, Body&& body) {
    const std::size_t blocks = workers.blocksFor(count, perWorker);
    workers.forEachBlock(blocks, [&](std::size_t b) {
        const BlockRange range = blockRange(count, blocks, b);
        body(range.begin, range.end);
    });
}

}  // namespace tavrel
