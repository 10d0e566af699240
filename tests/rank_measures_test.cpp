#include "estimation/rank_measures.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/types.hpp"

namespace tavrel {
namespace {

// One examinee's answers, all present, against a small profile (j*K + k).
struct Fit {
    std::string x;
    std::vector<double> profile, prior;
    std::int32_t K, J;
    std::string mask = std::string(x.size(), '1');
    ResponseView data() const { return {x, mask, std::size_t(J), 1}; }
    double measure(char method, std::size_t k) const {
        if (method == 'L') return rankDistance(0, k, data(), profile, std::size_t(K));
        if (method == 'B') return rankNegLogPosterior(0, k, data(), profile, prior, std::size_t(K));
        return rankNegLogLikelihood(0, k, data(), profile, std::size_t(K));
    }
    std::int32_t winner(char method) const { return selectRank(0, data(), profile, prior, std::size_t(K), method); }
    std::vector<double> membership(char method) const {
        std::vector<double> m(profile.size() / std::size_t(J));
        computeMembership(data(), profile, prior, std::size_t(K), method, m);
        return m;
    }
};

TEST(RankMeasures, TwoItemExampleUnderEachMeasure) {
    // Rank values (0.8, 0.2) and (0.3, 0.1), answered 1 then 0: likelihoods 0.56 and 0.18.
    const Fit fit{"10", {0.8, 0.2, 0.3, 0.1}, {0.2, 0.8}, 2, 2};
    EXPECT_NEAR(fit.measure('L', 0), 0.13, 1e-15);
    EXPECT_NEAR(fit.measure('L', 1), 0.65, 1e-15);
    EXPECT_NEAR(fit.measure('M', 0), -std::log(0.56), 1e-15);
    EXPECT_NEAR(fit.measure('B', 1), -std::log(0.18 * 0.8), 1e-15);
    EXPECT_NEAR(fit.membership('B')[1], 0.144 / 0.256, 1e-15);
    const std::vector<std::int32_t> winners{fit.winner('L'), fit.winner('M'), fit.winner('B')};
    EXPECT_EQ(winners, (std::vector<std::int32_t>{0, 0, 1}));  // only the prior turns it
}

TEST(RankMeasures, FloorsCeilingAndNotANumber) {
    // A correct answer against 0 or DBL_MIN, a wrong one against 1: -log(DBL_MIN), not infinity.
    const Fit fit{"10", {0.0, kDblMin, 0.5, 0.5, 0.5, 1.0}, {1.0, 0.0, -1.0}, 3, 2};
    const Fit wrong{"00", fit.profile, fit.prior, 3, 2};
    for (std::size_t k = 0; k < 2; ++k) EXPECT_EQ(fit.measure('M', k), -std::log(kDblMin) - std::log(0.5));
    EXPECT_DOUBLE_EQ(wrong.measure('M', 2), fit.measure('M', 0));
    // A zero prior caps the measure; a negative one makes it, and the row, not a number,
    // which never wins; a rank 0 that is not a number stays the winner.
    EXPECT_EQ(fit.measure('B', 1), kDblMax);
    for (double m : fit.membership('B')) EXPECT_TRUE(std::isnan(m));
    EXPECT_EQ(wrong.winner('B'), 0);
    EXPECT_EQ((Fit{"00", fit.profile, {-1.0, 1.0, 1.0}, 3, 2}.winner('B')), 0);
    // Every measure beyond 708.4: memberships all 1/K, the smallest measure still wins.
    const Fit far{"11", {1e-300, 1e-200, 1e-310, 1e-300, 1e-200, 1e-310}, {0.5, 0.5, 0.5}, 3, 2};
    EXPECT_EQ(far.winner('B'), 1);
    EXPECT_EQ(far.membership('M'), std::vector<double>(3, 1.0 / 3.0));
    // A membership at most S * DBL_MIN is raised to DBL_MIN rather than left subnormal.
    EXPECT_EQ((Fit{"1", {0.5, 1e-10}, {1e300, 1.0}, 2, 1}.membership('B')[1]), kDblMin);
}

TEST(RankMeasures, TiesGoToTheLowestRank) {
    // Ranks 1 and 2 fit equally and best.
    const Fit fit{"10", {0.1, 0.9, 0.9, 0.5, 0.9, 0.1, 0.1, 0.5}, {0.25, 0.25, 0.25, 0.25}, 4, 2};
    std::vector<double> scratch(4);
    for (char method : {'L', 'M', 'B'}) {
        EXPECT_EQ(fit.winner(method), 1) << method;
        EXPECT_EQ(RankScorer(fit.profile, fit.prior, 4, 2, method).selectRank(0, fit.data(), scratch.data()), 1);
    }
}

TEST(OrientProfile, ReversesWhenTheLastRankTotalsLess) {
    struct Row {
        std::int32_t K;
        std::vector<double> before, after;
    };
    for (Row row : {Row{3, {0.9, 0.5, 0.2, 0.8, 0.6, 0.1}, {0.2, 0.5, 0.9, 0.1, 0.6, 0.8}},
                    Row{4, {0.9, 0.7, 0.3, 0.2}, {0.2, 0.3, 0.7, 0.9}},
                    Row{3, {0.9, 0.5, 0.2, 0.1, 0.6, 0.8}, {0.9, 0.5, 0.2, 0.1, 0.6, 0.8}}}) {  // equal totals
        orientProfile(row.before, std::size_t(row.K));
        EXPECT_EQ(row.before, row.after);
    }
}

}  // namespace
}  // namespace tavrel
