// The worker pool: every block runs once whatever the number of workers, a
// failure reaches the caller deterministically, teams run together and meet
// at their barrier, and a thread that cannot start leaves fewer workers.
#include "common/workers.hpp"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVREL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVREL_SANITIZED 1
#endif
#endif

namespace tavrel {
namespace {

TEST(BlockRange, CutsInOrderIntoPartsThatDifferByAtMostOne) {
    for (std::size_t count : {0u, 1u, 7u, 64u, 1001u}) {
        for (std::size_t parts : {1u, 2u, 3u, 8u, 13u}) {
            std::size_t next = 0;
            for (std::size_t part = 0; part < parts; ++part) {
                const BlockRange r = blockRange(count, parts, part);
                EXPECT_EQ(r.begin, next) << count << ' ' << parts;
                EXPECT_LE(r.end - r.begin, count / parts + 1);
                EXPECT_GE(r.end - r.begin, count / parts);
                next = r.end;
            }
            EXPECT_EQ(next, count);
        }
    }
}

TEST(Workers, EveryBlockRunsExactlyOnceOnAnyNumberOfWorkers) {
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
        Workers workers(threads);
        EXPECT_EQ(workers.count(), threads);
        EXPECT_EQ(workers.blocksFor(1000, 4), threads == 1 ? 1u : 4 * threads);
        EXPECT_EQ(workers.blocksFor(2, 4), threads == 1 ? 1u : 2u);
        // Many small jobs in a row: each must see its own blocks only.
        for (std::size_t blocks : {0u, 1u, 2u, 5u, 100u}) {
            for (int job = 0; job < 50; ++job) {
                std::vector<std::atomic<int>> runs(blocks);
                workers.forEachBlock(blocks, [&](std::size_t b) { runs[b].fetch_add(1); });
                for (std::size_t b = 0; b < blocks; ++b) ASSERT_EQ(runs[b].load(), 1) << threads << ' ' << b;
            }
        }
    }
}

TEST(Workers, TheLowestFailingBlockReachesTheCallerAndThePoolGoesOn) {
    for (std::size_t threads : {1u, 2u, 3u, 8u}) {
        Workers workers(threads);
        for (int attempt = 0; attempt < 20; ++attempt) {
            std::atomic<int> ran{0};
            try {
                workers.forEachBlock(40, [&](std::size_t b) {
                    ran.fetch_add(1);
                    if (b == 29) throw std::bad_alloc();
                    if (b == 7 || b == 13) throw std::runtime_error(std::to_string(b));
                });
                FAIL() << "no exception";
            } catch (const std::runtime_error& failure) {
                EXPECT_STREQ(failure.what(), "7");
            }
            // Every block before the failure ran.
            EXPECT_GE(ran.load(), 8);
        }
        EXPECT_THROW(workers.forEachBlock(5, [](std::size_t b) { if (b == 4) throw std::bad_alloc(); }),
                     std::bad_alloc);
        std::atomic<int> after{0};
        workers.forEachBlock(10, [&](std::size_t) { after.fetch_add(1); });
        EXPECT_EQ(after.load(), 10);
    }
}

// Each member writes its value of the round, the team meets, and every
// member must then see every value of that round.
TEST(Workers, TeamMembersRunTogetherAndSeeEachOthersWritesAfterEachMeeting) {
    for (const auto& [threads, processors] : {std::pair{2u, 2u}, {3u, 3u}, {8u, 8u}, {8u, 2u}}) {
        Workers workers(threads, processors);
        EXPECT_EQ(workers.teamLimit(), std::min<std::size_t>(threads, processors));
        for (std::size_t asked : {1u, 3u, 100u}) {
            const std::size_t size = std::min(asked, workers.teamLimit());
            std::vector<std::size_t> values(size);
            std::atomic<int> mismatches{0}, members{0};
            const std::thread::id caller = std::this_thread::get_id();
            workers.runTeam(asked, [&](Team& team) {
                members.fetch_add(1);
                if ((team.member() == 0) != (std::this_thread::get_id() == caller)) mismatches.fetch_add(1);
                for (std::size_t round = 0; round < 500; ++round) {
                    values[team.member()] = round * size + team.member();
                    team.sync();
                    for (std::size_t m = 0; m < team.size(); ++m)
                        if (values[m] != round * size + m) mismatches.fetch_add(1);
                    team.sync();
                }
            });
            EXPECT_EQ(members.load(), int(size)) << threads << ' ' << asked;
            EXPECT_EQ(mismatches.load(), 0) << threads << ' ' << asked;
        }
    }
}

TEST(Workers, AFailingMemberReleasesItsTeamAndTheLowestFailureIsReported) {
    Workers workers(4, 4);
    for (int attempt = 0; attempt < 20; ++attempt) {
        try {
            workers.runTeam(4, [&](Team& team) {
                for (int round = 0; round < 100; ++round) {
                    if (round == 10 && team.member() >= 2) throw std::runtime_error(std::to_string(team.member()));
                    team.sync();
                }
            });
            FAIL() << "no exception";
        } catch (const std::runtime_error& failure) {
            EXPECT_STREQ(failure.what(), "2");
        }
    }
    std::atomic<int> members{0};
    workers.runTeam(4, [&](Team& team) {
        team.sync();
        members.fetch_add(1);
    });
    EXPECT_EQ(members.load(), 4);
}

TEST(Workers, ThreadCountIsCappedAt256) {
    const Workers workers(1000, 2);
    EXPECT_EQ(workers.count(), 256u);
    EXPECT_EQ(workers.teamLimit(), 2u);
}

#if !defined(TAVREL_SANITIZED)
// In a child whose address space leaves room for about two thread stacks,
// asking for eight workers gives fewer, and they still run every block.
TEST(Workers, ThreadsThatCannotStartLeaveFewerWorkers) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        const rlim_t room = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (20u << 20);
        const rlimit limit{room, room};
        if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(2);
        Workers workers(8);
        if (workers.count() >= 8 || workers.count() < 1) _exit(3);
        std::vector<int> runs(64, 0);
        workers.forEachBlock(runs.size(), [&](std::size_t b) { ++runs[b]; });
        for (int r : runs)
            if (r != 1) _exit(4);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
#endif

}  // namespace
}  // namespace tavrel
