// The statistics of a finished run: worked checks, a small data set whose
// every value was worked out independently, and the values that do not exist.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "analysis/irp_indices.hpp"
#include "analysis/normal_quantile.hpp"
#include "analysis/run_statistics.hpp"
#include "common/workers.hpp"

namespace tavrel {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

ExamineeScores scoresOf(std::vector<std::int32_t> responses, std::vector<std::int32_t> score) {
    ExamineeScores s{std::move(responses), std::move(score), 0};
    for (const std::int32_t r : s.responses) s.scored += r > 0;
    return s;
}

TEST(ScoreStatistics, WorkedCheckAndTheDegenerateCases) {
    // Scores 2, 3, 3, 5 of a complete data set, and an examinee without responses who counts nowhere.
    const ScoreStatistics st = describeScores(scoresOf({5, 5, 5, 5, 0}, {2, 3, 3, 5, 0}));
    EXPECT_EQ(st.mean, 3.25);
    EXPECT_NEAR(st.sd, 1.25831, 5e-6);
    EXPECT_NEAR(st.skewness, 0.652024, 5e-7);
    EXPECT_NEAR(st.kurtosis, -0.903047, 5e-7);
    EXPECT_EQ(st.seMean, st.sd / 2.0);
    EXPECT_EQ(st.min, 2.0);
    EXPECT_EQ(st.max, 5.0);

    // All scores equal: the deviation is exactly 0 and what divides by it does not exist.
    const ScoreStatistics equal = describeScores(scoresOf({3, 3, 3}, {1, 1, 1}));
    EXPECT_EQ(equal.sd, 0.0);
    EXPECT_EQ(equal.rateSd, 0.0);
    EXPECT_TRUE(std::isnan(equal.skewness) && std::isnan(equal.kurtosis));

    // One examinee: no deviation at all; nobody: nothing.
    const ScoreStatistics one = describeScores(scoresOf({4, 0}, {3, 0}));
    EXPECT_EQ(one.mean, 3.0);
    EXPECT_TRUE(std::isnan(one.sd) && std::isnan(one.seMean) && std::isnan(one.rateSd));
    const ScoreStatistics none = describeScores(scoresOf({0, 0}, {0, 0}));
    for (double v : {none.mean, none.sd, none.min, none.max, none.rateMean}) EXPECT_TRUE(std::isnan(v));
}

TEST(IrpIndices, WorkedCheckTiesAndASingleRank) {
    const std::vector<double> p{0.50, 0.60, 0.58, 0.70, 0.75, 0.74};
    const IrpIndices x = irpIndices(p);
    EXPECT_EQ(x.beta, 1u);
    EXPECT_EQ(x.b, 0.5);
    EXPECT_EQ(x.alpha, 3u);
    EXPECT_NEAR(x.a, 0.12, 1e-15);
    EXPECT_NEAR(x.c, -0.03, 1e-15);
    EXPECT_EQ(x.gamma, 0.4);

    // Equal steps and equal distances from 0.5 go to the lowest rank.
    const IrpIndices ties = irpIndices(std::vector<double>{0.25, 0.5, 0.75, 0.25});
    EXPECT_EQ(ties.alpha, 1u);
    EXPECT_EQ(ties.beta, 2u);
    EXPECT_EQ(ties.c, -0.5);
    EXPECT_DOUBLE_EQ(ties.gamma, 1.0 / 3.0);
    EXPECT_EQ(irpIndices(std::vector<double>{0.4, 0.6}).beta, 1u);

    const IrpIndices single = irpIndices(std::vector<double>{0.3});
    EXPECT_FALSE(single.alpha.has_value());
    EXPECT_TRUE(std::isnan(single.a) && std::isnan(single.gamma));
    EXPECT_EQ(single.beta, 1u);
    EXPECT_EQ(single.b, 0.3);
    EXPECT_EQ(single.c, 0.0);
}

TEST(NormalQuantile, CentreTailsAndEnds) {
    // Reference values of the quantile to the last digit.
    const double cases[][2] = {{0.975, 1.9599639845400536}, {0.05, -1.6448536269514726}, {0.3, -0.5244005127080407},
                               {1e-10, -6.361340902404056},  {1e-300, -37.0470962993612},  {0.999999, 4.753424308817089},
                               {0.5, 0.0}};
    for (const auto& [p, z] : cases) EXPECT_NEAR(normalQuantile(p), z, 4e-16 * std::fabs(z)) << p;
    EXPECT_EQ(normalQuantile(0.0), -kInf);
    EXPECT_EQ(normalQuantile(1.0), kInf);
    for (double p : {-0.1, 1.5, std::nan("")}) EXPECT_TRUE(std::isnan(normalQuantile(p))) << p;
}

// Six examinees, two items, two ranks; examinee 5 has no response, the
// second cell of item 2 alone is learned. Every expected value was computed
// separately from the definitions.
struct HandWorked {
    std::string responses = "1110" "0.00" "..01";
    std::string mask = "1111" "1011" "0011";
    std::vector<double> profile{0.2, 0.8, 0.1, 0.6};
    std::string fixed = "1101";
    std::string itemUse = "11";
    std::vector<double> membership{0.1, 0.9, 0.4, 0.6, 0.7, 0.3, 0.8, 0.2, 0.5, 0.5, 0.3, 0.7};
    std::vector<std::int32_t> ranks{1, 1, 0, 0, 0, 1};

    RunStatistics compute(std::span<const double> filter = {}, std::size_t threads = 1) const {
        Workers workers(threads);
        return computeStatistics({{responses, mask, 2, 6}, profile, fixed, itemUse, membership, ranks, filter, 2},
                                 workers);
    }
};

TEST(RunStatistics, HandWorkedDataSet) {
    const RunStatistics s = HandWorked{}.compute();
    const auto near = [](double got, double want) { EXPECT_NEAR(got, want, 1e-12 * std::max(1.0, std::fabs(want))); };
    EXPECT_EQ(s.scores.responses, (std::vector<std::int32_t>{2, 2, 1, 2, 0, 2}));
    EXPECT_EQ(s.scores.score, (std::vector<std::int32_t>{2, 1, 0, 0, 0, 1}));
    EXPECT_EQ(s.scores.scored, 5u);
    near(s.scoreStatistics.mean, 0.8);
    near(s.scoreStatistics.sd, 0.8366600265340756);
    near(s.scoreStatistics.skewness, 0.3436215967445454);
    near(s.scoreStatistics.kurtosis, -1.1530612244897964);
    near(s.scoreStatistics.rateMean, 0.4);
    near(s.scoreStatistics.rateSd, 0.4183300132670378);

    EXPECT_EQ(s.items[0].respondents, 5);
    EXPECT_EQ(s.items[1].correct, 2);
    near(s.items[0].threshold, 0.2533471031357998);
    EXPECT_EQ(s.items[1].threshold, 0.0);
    near(s.items[0].itemTotalCorrelation, 0.7637626158259734);
    near(s.items[1].itemTotalCorrelation, 0.7071067811865475);

    const double model[] = {-3.472418170474863, -2.597820239511919}, null[] = {-3.365058335046282, -2.772588722239781};
    for (std::size_t j = 0; j < 2; ++j) {
        near(s.itemFit[j].loglikModel, model[j]);
        near(s.itemFit[j].loglikBenchmark, -1.3862943611198906);
        near(s.itemFit[j].loglikNull, null[j]);
        EXPECT_EQ(s.itemFit[j].dfModel, double(j + 1));  // three score groups, two and one learned cells
        EXPECT_EQ(s.itemFit[j].dfNull, 2.0);
    }
    const FitIndices& t = s.testFit;
    near(t.chisqModel, 6.595299375494002);
    near(t.chisqNull, 6.730116670092564);
    EXPECT_EQ(t.dfModel, 3.0);
    near(t.NFI, 0.02003194018874388);
    near(t.IFI, 0.036142916300582306);
    EXPECT_EQ(t.CFI, 0.0);
    EXPECT_EQ(t.RFI, 0.0);
    EXPECT_EQ(t.TLI, 0.0);
    near(t.RMSEA, 0.5473648520787271);
    near(t.AIC, 0.5952993754940019);
    near(t.CAIC, -1.2330143618082996);
    near(t.BIC, 1.7669856381917013);

    near(s.ranks.testReferenceProfile[0], 0.3);
    EXPECT_EQ(s.ranks.latentRankDistribution, (std::vector<std::int64_t>{2, 3}));  // the examinee without responses left out
    near(s.ranks.rankMembershipDistribution[0], 2.3);
    EXPECT_TRUE(s.weaklyOrdinal);
    EXPECT_TRUE(s.stronglyOrdinal);
}

// Every value of the statistics, to the bit.
std::string bits(const RunStatistics& s) {
    std::string text;
    const auto add = [&](double v) {
        char buffer[40];
        text.append(buffer, static_cast<std::size_t>(std::snprintf(buffer, sizeof buffer, "%a ", v)));
    };
    for (const ItemStatistics& item : s.items) add(item.correctRate), add(item.threshold), add(item.itemTotalCorrelation);
    for (const FitIndices& f : s.itemFit)
        for (double v : {f.loglikModel, f.loglikBenchmark, f.loglikNull, f.dfModel, f.BIC}) add(v);
    for (double v : s.ranks.rankMembershipDistribution) add(v);
    return text;
}

TEST(RunStatistics, TheSameBitsOnSeveralWorkers) {
    const std::vector<double> filter{0.5, 0.5, 0.5, 0.5};
    for (const std::size_t threads : {2, 3}) {  // a worker per item, and one more than items
        EXPECT_EQ(bits(HandWorked{}.compute({}, threads)), bits(HandWorked{}.compute()));
        EXPECT_EQ(bits(HandWorked{}.compute(filter, threads)), bits(HandWorked{}.compute(filter)));
    }
}

TEST(RunStatistics, TheBatchFilterAndFixedCellsSetTheParameters) {
    // Parameters under the batch method: the filter's diagonal over the learned cells.
    const std::vector<double> filter{0.5, 0.5, 0.5, 0.5};
    const RunStatistics s = HandWorked{}.compute(filter);
    EXPECT_EQ(s.itemFit[0].dfModel, 2.0);  // 3 - (0.5 + 0.5)
    EXPECT_EQ(s.itemFit[1].dfModel, 2.5);  // 3 - 0.5: the first cell is fixed
}

TEST(RunStatistics, ValuesThatDoNotExist) {
    // Item 1 answered by nobody, item 2 right by everybody, item 3 out of use; every
    // examinee scores 1 (one score group); a single rank.
    HandWorked h;
    h.responses = ".1..1..1.";
    h.mask = "010010010";
    h.profile = {0.5, 0.9, 0.2};
    h.fixed = "111";
    h.itemUse = "110";
    h.membership = {1.0, 1.0, 1.0};
    h.ranks = {0, 0, 0};
    Workers workers(1);
    const RunStatistics s = computeStatistics(
        {{h.responses, h.mask, 3, 3}, h.profile, h.fixed, h.itemUse, h.membership, h.ranks, {}, 1}, workers);
    const ItemStatistics& nobody = s.items[0];
    EXPECT_EQ(nobody.respondents, 0);
    EXPECT_TRUE(std::isnan(nobody.correctRate) && std::isnan(nobody.threshold) &&
                std::isnan(nobody.itemTotalCorrelation));
    EXPECT_TRUE(std::isnan(s.itemFit[0].loglikModel) && std::isnan(s.itemFit[0].BIC));
    EXPECT_EQ(s.items[1].threshold, -kInf);
    EXPECT_TRUE(std::isnan(s.items[1].itemTotalCorrelation));
    // One score group: the benchmark is the null model exactly, with no degree of freedom.
    EXPECT_EQ(s.itemFit[1].loglikBenchmark, s.itemFit[1].loglikNull);
    EXPECT_EQ(s.itemFit[1].chisqNull, 0.0);
    EXPECT_EQ(s.itemFit[1].dfNull, 0.0);
    EXPECT_EQ(s.itemFit[1].dfModel, 0.0);
    EXPECT_TRUE(std::isnan(s.itemFit[1].RMSEA) && std::isnan(s.itemFit[1].TLI));
    // The test sums leave out the item without respondents and the one out of use.
    EXPECT_EQ(s.testFit.dfModel, 0.0);
    EXPECT_EQ(s.testFit.loglikModel, s.itemFit[1].loglikModel);
    EXPECT_EQ(s.itemsInUse, 2u);
    EXPECT_DOUBLE_EQ(s.ranks.testReferenceProfile[0], 1.4);
    EXPECT_TRUE(s.weaklyOrdinal);
    EXPECT_EQ(s.scoreStatistics.sd, 0.0);
    EXPECT_TRUE(std::isnan(s.scoreStatistics.skewness));
}

TEST(ModelFit, IndicesWithoutDegreesOfFreedomOrExaminees) {
    // A model better than the benchmark: the shares are clipped to 0 and 1.
    const FitIndices f = fitIndices({-10.0, -12.0, -20.0, -1.0, 4.0}, 50);
    EXPECT_EQ(f.chisqModel, -4.0);
    EXPECT_EQ(f.NFI, 1.0);
    EXPECT_EQ(f.IFI, 1.0);
    EXPECT_TRUE(std::isnan(f.RFI) && std::isnan(f.TLI) && std::isnan(f.RMSEA));
    EXPECT_EQ(f.AIC, -2.0);
    EXPECT_NEAR(f.BIC, -4.0 + std::log(50.0), 1e-15);
    // A NaN log-likelihood stays NaN through the clipping.
    EXPECT_TRUE(std::isnan(fitIndices({std::nan(""), -12.0, -20.0, 3.0, 4.0}, 50).NFI));
    for (std::size_t n : {0u, 1u}) EXPECT_TRUE(std::isnan(fitIndices({-10.0, -12.0, -20.0, 3.0, 4.0}, n).AIC));
}

}  // namespace
}  // namespace tavrel
