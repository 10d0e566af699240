#include "estimation/sequential_learning.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.hpp"
#include "simulated_responses.hpp"

namespace tavrel {
namespace {

struct Learned {
    std::vector<double> profile;
    std::string console;
};

Learned learn(const std::string& responses, std::vector<double> profile, const LearningSchedule& schedule,
              std::int32_t K, std::int32_t J, std::string fixed = "", std::int32_t seed = 1, bool increase = false) {
    std::string mask;
    for (char c : responses) mask += (c == '0' || c == '1') ? '1' : '0';
    if (fixed.empty()) fixed.assign(profile.size(), '1');
    const std::vector<double> prior(K, 1.0 / K);
    std::ostringstream console;
    learnSequential(responses, mask, fixed, profile, prior, schedule, seed, K, J,
                    std::int32_t(responses.size()) / J, 'M', increase, console);
    return {profile, console.str()};
}

TEST(ShuffleExaminees, SeedOneVisitsTheWorkedOrder) {
    Lcg generator(1);
    EXPECT_EQ(Lcg(1).draw(), 41);
    std::vector<std::int32_t> order{0, 1, 2, 3, 4};
    shuffleExaminees(order, generator);
    EXPECT_EQ(order, (std::vector<std::int32_t>{3, 2, 4, 1, 0}));
    shuffleExaminees(order, generator);  // from the previous order, not the identity
    EXPECT_EQ(order, (std::vector<std::int32_t>{0, 1, 4, 2, 3}));
}

TEST(LearningRate, MovesAlongTheScheduleWithAGaussianNeighbourhood) {
    const LearningSchedule usual{100, 1.0, 0.1, 1.0, 0.12};
    EXPECT_DOUBLE_EQ(learningRate(4, 4, 0, usual, 10, 100), 0.1);
    EXPECT_DOUBLE_EQ(learningRate(5, 4, 0, usual, 10, 100), 0.1 * std::exp(-0.005));
    EXPECT_DOUBLE_EQ(learningRate(3, 4, 0, usual, 10, 100), 0.1 * std::exp(-0.005));
    EXPECT_DOUBLE_EQ(learningRate(0, 0, 99, usual, 10, 100), 0.01);
    EXPECT_DOUBLE_EQ(learningRate(0, 1, 99, usual, 10, 100), 0.01 * std::exp(-1 / 2.88));
    // A single pass stands at the start of the schedule instead of dividing by zero.
    EXPECT_EQ(learningRate(1, 1, 0, {1, 0.5, 0.1, 1.0, 0.12}, 4, 8), 0.25);
    // Zero width: the Gaussian's limit, all of the step at the winner.
    const LearningSchedule narrow{10, 1.0, 1.0, 0.0, 0.0};
    EXPECT_EQ(learningRate(2, 2, 3, narrow, 4, 8), 0.5);
    EXPECT_EQ(learningRate(3, 2, 3, narrow, 4, 8), 0.0);
    // K^2 and (k - w)^2 beyond 32 bits.
    EXPECT_DOUBLE_EQ(learningRate(0, 59999, 0, usual, 60000, 60000),
                     std::exp(-(59999.0 * 59999.0) / (2.0 * 60000.0 * 60000.0)));
}

TEST(SequentialLearning, PrintsOneDotPerTwentiethOfTheRun) {
    const std::vector<double> start{0.3, 0.6, 0.3, 0.6};
    for (std::int32_t T : {-2, 0, 1, 3, 7, 20, 30, 40, 100}) {
        SCOPED_TRACE(T);
        const Learned run = learn("1001.1", start, {T, 1.0, 0.1, 1.0, 0.12}, 2, 2);
        const int dots = T > 0 ? std::gcd(20, T) : 0;
        EXPECT_EQ(run.console, "Now calculating " + std::string(dots, '.') + "\n");
        if (T <= 0) {
            EXPECT_EQ(run.profile, start);
        }
    }
}

TEST(SequentialLearning, SinglePassClipsAndSparesFixedAndMissingCells) {
    // K = 1: the rate is alpha1 itself (K alpha / N with N = 1); alphat differs.
    for (double alpha : {1.0, 3.0}) {
        SCOPED_TRACE(alpha);
        const Learned run = learn("10.11", std::vector<double>(5, 0.5), {1, alpha, 0.1, 1.0, 0.12}, 1, 5, "11110");
        EXPECT_EQ(run.profile, (std::vector<double>{1.0, kDblMin, 0.5, 1.0, 0.5}));
    }
}

TEST(SequentialLearning, IncreaseLeavesEveryItemAscending) {
    const testing::SimulatedResponses data = testing::simulateResponses(60, 6, 4, 0.1, 3);
    std::vector<double> descending(data.profile.rbegin(), data.profile.rend());
    const Learned run = learn(data.responses, descending, {3, 1.0, 0.1, 1.0, 0.12}, 4, 6, "", 5, true);
    for (std::size_t j = 0; j < 6; ++j)
        EXPECT_TRUE(std::is_sorted(run.profile.begin() + j * 4, run.profile.begin() + j * 4 + 4));
    // Beyond the insertion sort's range too.
    std::vector<double> wide(80);
    std::iota(wide.rbegin(), wide.rend(), 0.0);
    sortProfileIncreasing(wide, 40, 2);
    EXPECT_TRUE(std::is_sorted(wide.begin(), wide.begin() + 40) && std::is_sorted(wide.begin() + 40, wide.end()));
    EXPECT_EQ(wide[0], 40.0);
}

TEST(SequentialLearning, SamePositiveSeedRepeats) {
    const testing::SimulatedResponses data = testing::simulateResponses(40, 6, 3, 0.0, 9);
    const LearningSchedule schedule{5, 1.0, 0.1, 1.0, 0.12};
    const Learned first = learn(data.responses, data.profile, schedule, 3, 6, "", 7);
    EXPECT_EQ(first.profile, learn(data.responses, data.profile, schedule, 3, 6, "", 7).profile);
    EXPECT_NE(first.profile, learn(data.responses, data.profile, schedule, 3, 6, "", 8).profile);
}

}  // namespace
}  // namespace tavrel
