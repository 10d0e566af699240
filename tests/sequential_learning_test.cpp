#include "console_record.hpp"
#include "estimation/sequential_learning.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

namespace tavrel {

TEST(ShuffleExaminees, SeedOneVisitsTheWorkedOrder) {
    Lcg generator(1);
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
    const std::string data = "1001", all(4, '1');
    const std::vector<double> start{0.3, 0.6, 0.3, 0.6}, prior{0.5, 0.5};
    for (std::int32_t T : {-2, 0, 1, 3, 7, 20, 30, 40, 100}) {
        std::vector<double> profile = start;
        ConsoleRecord console;
        Workers one;
        learnSequential({data, all, 2, 2}, {profile, all, prior, 2}, {{T, 1.0, 0.1, 1.0, 0.12}, 1, 'M', false}, one,
                        console);
        EXPECT_EQ(console.str(), "Now calculating " + std::string(T > 0 ? std::gcd(20, T) : 0, '.') + "\n") << T;
        EXPECT_EQ(profile == start, T <= 0) << T;
    }
}

}  // namespace tavrel
