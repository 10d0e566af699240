#include "estimation/rank_measures.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "common/types.hpp"

namespace tavrel {
namespace {

// One examinee (or several, row after row) against a small profile.
struct Fit {
    std::string responses;
    std::vector<double> profile;  // j*K + k
    std::vector<double> prior;
    std::int32_t K, J;
    std::string mask() const {
        std::string m;
        for (char c : responses) m += (c == '0' || c == '1') ? '1' : '0';
        return m;
    }
    std::int32_t winner(char method, std::size_t e = 0) const {
        return selectRank(e, responses, mask(), profile, prior, K, J, method);
    }
    std::vector<double> membership(char method) const {
        std::vector<double> m(responses.size() / J * K);
        computeMembership(responses, mask(), profile, m, prior, K, J, std::int32_t(responses.size() / J), method);
        return m;
    }
};

TEST(RankMeasures, TwoItemExampleUnderEachMeasure) {
    // Items of rank values (0.8, 0.2) and (0.3, 0.1), answered 1 then 0.
    const Fit fit{"10", {0.8, 0.2, 0.3, 0.1}, {0.2, 0.8}, 2, 2};
    const std::string mask = fit.mask();
    EXPECT_NEAR(rankDistance(0, 0, fit.responses, mask, fit.profile, 2, 2), 0.13, 1e-15);
    EXPECT_NEAR(rankDistance(0, 1, fit.responses, mask, fit.profile, 2, 2), 0.65, 1e-15);
    EXPECT_EQ(fit.winner('L'), 0);
    const std::vector<double> distances = fit.membership('L');  // the measures, not normalised
    EXPECT_EQ(distances[0], rankDistance(0, 0, fit.responses, mask, fit.profile, 2, 2));
    EXPECT_EQ(distances[1], rankDistance(0, 1, fit.responses, mask, fit.profile, 2, 2));
    EXPECT_NEAR(rankDistance(0, 0, fit.responses, std::string("10"), fit.profile, 2, 2), 0.04, 1e-15);  // item 2 missing

    EXPECT_NEAR(rankNegLogLikelihood(0, 0, fit.responses, mask, fit.profile, 2, 2), -std::log(0.8 * 0.7), 1e-15);
    EXPECT_NEAR(rankNegLogLikelihood(0, 1, fit.responses, mask, fit.profile, 2, 2), -std::log(0.2 * 0.9), 1e-15);
    EXPECT_NEAR(rankNegLogPosterior(0, 1, fit.responses, mask, fit.profile, fit.prior, 2, 2),
                -std::log(0.2 * 0.9 * 0.8), 1e-15);
    // Likelihoods 0.56 and 0.18; with the prior 0.112 and 0.144.
    EXPECT_EQ(fit.winner('M'), 0);
    EXPECT_EQ(fit.winner('B'), 1);
    EXPECT_NEAR(fit.membership('M')[0], 0.56 / 0.74, 1e-15);
    EXPECT_NEAR(fit.membership('B')[1], 0.144 / 0.256, 1e-15);
}

TEST(RankMeasures, FloorsCeilingAndNotANumber) {
    // A correct answer against 0 or DBL_MIN, a wrong one against 1: -log(DBL_MIN), not infinity.
    const Fit fit{"10", {0.0, kDblMin, 0.5, 0.5, 0.5, 1.0}, {1.0, 0.0, -1.0}, 3, 2};
    const double worst = -std::log(kDblMin) - std::log(0.5);
    const std::string wrong = "00", both = "11";
    for (std::size_t k = 0; k < 2; ++k)
        EXPECT_EQ(rankNegLogLikelihood(0, k, fit.responses, fit.mask(), fit.profile, 3, 2), worst);
    EXPECT_DOUBLE_EQ(rankNegLogLikelihood(0, 2, wrong, both, fit.profile, 3, 2), worst);
    // A zero prior caps the measure; a negative one makes it not a number, which never wins,
    // and a rank 0 that is not a number stays the winner.
    EXPECT_EQ(rankNegLogPosterior(0, 1, fit.responses, fit.mask(), fit.profile, fit.prior, 3, 2), kDblMax);
    EXPECT_TRUE(std::isnan(rankNegLogPosterior(0, 2, wrong, both, fit.profile, fit.prior, 3, 2)));
    EXPECT_EQ(selectRank(0, wrong, both, fit.profile, fit.prior, 3, 2, 'B'), 0);
    EXPECT_EQ(selectRank(0, wrong, both, fit.profile, std::vector<double>{-1.0, 1.0, 1.0}, 3, 2, 'B'), 0);
    for (double m : fit.membership('B')) EXPECT_TRUE(std::isnan(m));
    for (double m : fit.membership('M')) EXPECT_EQ(m, 1.0 / 3.0);  // the prior plays no part
    // A membership at most S * DBL_MIN is raised to DBL_MIN rather than left subnormal.
    const Fit huge{"1", {0.5, 1e-10}, {1e300, 1.0}, 2, 1};
    EXPECT_EQ(huge.membership('B')[1], kDblMin);
}

TEST(RankMeasures, TiesGoToTheLowestRank) {
    // Ranks 1 and 2 fit equally and best.
    const Fit fit{"10", {0.1, 0.9, 0.9, 0.5, 0.9, 0.1, 0.1, 0.5}, {0.25, 0.25, 0.25, 0.25}, 4, 2};
    std::vector<double> scratch(4);
    for (char method : {'L', 'M', 'B', 'G'}) {
        SCOPED_TRACE(method);
        EXPECT_EQ(fit.winner(method), 1);
        const RankScorer scorer(fit.profile, fit.prior, 4, 2, method);
        EXPECT_EQ(scorer.selectRank(0, fit.responses, fit.mask(), scratch.data()), 1);
    }
}

TEST(RankMeasures, ExamineeWithoutPresentResponses) {
    const Fit fit{"..", {0.2, 0.5, 0.7, 0.1, 0.4, 0.9}, {0.2, 0.4, 0.4}, 3, 2};
    struct Row {
        char method;
        std::int32_t winner;
        std::vector<double> membership;
    };
    for (const Row& row : {Row{'M', 0, {1.0 / 3, 1.0 / 3, 1.0 / 3}}, Row{'G', 0, {1.0 / 3, 1.0 / 3, 1.0 / 3}},
                           Row{'B', 1, {0.2, 0.4, 0.4}}, Row{'L', 0, {kDblMin, kDblMin, kDblMin}}}) {
        SCOPED_TRACE(row.method);
        EXPECT_EQ(fit.winner(row.method), row.winner);
        const std::vector<double> m = fit.membership(row.method);
        for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(m[k], row.membership[k], 1e-15);
    }
}

TEST(RankMeasures, RowBeyondTheExponentRangeStillRanks) {
    // Every measure exceeds 708.4: all exponentials fall to the floor.
    const Fit fit{"11", {1e-300, 1e-200, 1e-310, 1e-300, 1e-200, 1e-310}, {1.0 / 3, 1.0 / 3, 1.0 / 3}, 3, 2};
    for (char method : {'M', 'B'}) {
        EXPECT_EQ(fit.winner(method), 1);
        for (double m : fit.membership(method)) EXPECT_EQ(m, 1.0 / 3.0);
    }
}

TEST(OrientProfile, ReversesWhenTheLastRankTotalsLess) {
    struct Row {
        std::int32_t K;
        std::vector<double> before, after;
    };
    for (const Row& row : {
             Row{3, {0.9, 0.5, 0.2, 0.8, 0.6, 0.1}, {0.2, 0.5, 0.9, 0.1, 0.6, 0.8}},
             Row{4, {0.9, 0.7, 0.3, 0.2}, {0.2, 0.3, 0.7, 0.9}},
             Row{3, {0.9, 0.5, 0.2, 0.1, 0.6, 0.8}, {0.9, 0.5, 0.2, 0.1, 0.6, 0.8}},  // equal totals
             Row{2, {0.3, 0.4}, {0.3, 0.4}},
         }) {
        std::vector<double> profile = row.before;
        orientProfile(profile, row.K, std::int32_t(profile.size()) / row.K);
        EXPECT_EQ(profile, row.after);
    }
}

}  // namespace
}  // namespace tavrel
