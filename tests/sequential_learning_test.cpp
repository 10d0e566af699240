#include "estimation/sequential_learning.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "common/types.hpp"

namespace tavrel {
namespace {

// Learns under 'M' with seed 1; returns the console text.
std::string learn(const std::string& responses, std::vector<double>& profile, const LearningSchedule& schedule,
                  std::int32_t K, std::int32_t J, const std::string& fixed) {
    std::string mask;
    for (char c : responses) mask += (c == '0' || c == '1') ? '1' : '0';
    std::ostringstream console;
    learnSequential(responses, mask, fixed, profile, std::vector<double>(K, 1.0 / K), schedule, 1, K, J,
                    std::int32_t(responses.size()) / J, 'M', false, console);
    return console.str();
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
    EXPECT_DOUBLE_EQ(learningRate(0, 0, 99, usual, 10, 100), 0.01);
    EXPECT_DOUBLE_EQ(learningRate(2, 1, 99, usual, 10, 100), 0.01 * std::exp(-1 / 2.88));
    // Mid-run and to the bit: alpha and sigma interpolated, then the Gaussian, in this order.
    const double alpha = (49.0 * 1.0 + 50.0 * 0.1) / 99.0, sigma = (49.0 * 1.0 + 50.0 * 0.12) / 99.0;
    EXPECT_EQ(learningRate(7, 4, 50, usual, 10, 100),
              ((10.0 * alpha) / 100.0) * std::exp((-9.0) / (((2.0 * 100.0) * sigma) * sigma)));
    // A single pass stands at the start of the schedule instead of dividing by zero.
    EXPECT_EQ(learningRate(1, 1, 0, {1, 0.5, 0.1, 1.0, 0.12}, 4, 8), 0.25);
    // Zero width: the Gaussian's limit, all of the step at the winner.
    EXPECT_EQ(learningRate(2, 2, 3, {10, 1.0, 1.0, 0.0, 0.0}, 4, 8), 0.5);
    EXPECT_EQ(learningRate(3, 2, 3, {10, 1.0, 1.0, 0.0, 0.0}, 4, 8), 0.0);
    // K^2 and (k - w)^2 beyond 32 bits.
    EXPECT_DOUBLE_EQ(learningRate(0, 59999, 0, usual, 60000, 60000),
                     std::exp(-(59999.0 * 59999.0) / (2.0 * 60000.0 * 60000.0)));
}

TEST(SequentialLearning, PrintsOneDotPerTwentiethOfTheRun) {
    const std::vector<double> start{0.3, 0.6, 0.3, 0.6};
    for (std::int32_t T : {-2, 0, 1, 3, 7, 20, 30, 40, 100}) {
        std::vector<double> profile = start;
        const std::string console = learn("1001.1", profile, {T, 1.0, 0.1, 1.0, 0.12}, 2, 2, "1111");
        EXPECT_EQ(console, "Now calculating " + std::string(T > 0 ? std::gcd(20, T) : 0, '.') + "\n") << T;
        EXPECT_EQ(profile == start, T <= 0) << T;
    }
}

TEST(SequentialLearning, SinglePassClipsAndSparesFixedAndMissingCells) {
    // K = 1 and N = 1: the rate is alpha1 itself; alphat differs.
    for (double alpha : {1.0, 3.0}) {
        std::vector<double> profile(5, 0.5);
        learn("10.11", profile, {1, alpha, 0.1, 1.0, 0.12}, 1, 5, "11110");
        EXPECT_EQ(profile, (std::vector<double>{1.0, kDblMin, 0.5, 1.0, 0.5})) << alpha;
    }
}

}  // namespace
}  // namespace tavrel
