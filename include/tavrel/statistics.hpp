#pragma once
// The statistics of a finished analysis: examinee scores, item statistics,
// the shape of each item reference profile, model fit per item and for the
// test, the spread over the ranks, and the counts the report draws.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavrel {

// r(i), the responses that take part (present, item in use), and s(i), the
// correct ones among them. Examinees with r(i) = 0 take part in no statistic.
struct ExamineeScores {
    std::vector<std::int32_t> responses;
    std::vector<std::int32_t> score;
    std::size_t scored = 0;  // N', the examinees with r(i) > 0

    bool takesPart(std::size_t i) const { return responses[i] > 0; }
    // q(i) = s(i) / r(i).
    double passageRate(std::size_t i) const { return double(score[i]) / double(responses[i]); }
};

// Over the N' examinees, NaN where a value does not exist.
struct ScoreStatistics {
    double mean, seMean, sd, skewness, kurtosis, min, max;  // of s(i)
    double rateMean, rateSd;                                // of q(i)
};

struct ItemStatistics {
    std::int64_t respondents = 0;  // n(j)
    std::int64_t correct = 0;      // c1(j)
    double correctRate;            // c1 / n, NaN without respondents
    double threshold;              // the normal quantile of 1 - correctRate
    // Pearson correlation of the item's responses with the examinees' passage
    // rates, over its respondents; NaN where either side is constant.
    double itemTotalCorrelation;
};

// Shape of one item's reference profile; ranks are numbered from 1. With
// d(k) = p(k+1) - p(k):
struct IrpIndices {
    std::optional<std::size_t> alpha;  // the rank of the largest d (lowest on ties); none for K = 1
    double a;                          // that d; NaN for K = 1
    std::size_t beta;                  // the rank whose value is nearest 0.5 (lowest on ties)
    double b;                          // its value
    double gamma;                      // the share of the K - 1 steps that fall; NaN for K = 1
    double c;                          // the sum of the falling steps (0 when none falls)
};

struct FitIndices {
    double loglikModel, loglikBenchmark, loglikNull;
    double chisqModel, chisqNull, dfModel, dfNull;
    double NFI, RFI, IFI, TLI, CFI, RMSEA, AIC, CAIC, BIC;
};

struct RankStatistics {
    std::vector<double> testReferenceProfile;          // TRP(k): sum of the profile over items in use
    std::vector<std::int64_t> latentRankDistribution;  // LRD(k): examinees whose rank is k
    std::vector<double> rankMembershipDistribution;    // RMD(k): sum of the memberships in k
};

struct RunStatistics {
    ExamineeScores scores;
    ScoreStatistics scoreStatistics;
    std::vector<ItemStatistics> items;
    std::vector<IrpIndices> irp;      // every item, in use or not
    std::vector<FitIndices> itemFit;  // NaN for items without respondents
    FitIndices testFit;               // over the items in use that have respondents
    RankStatistics ranks;
    std::size_t itemsInUse = 0;
    bool weaklyOrdinal = false;    // TRP rises from rank to rank
    bool stronglyOrdinal = false;  // and no item in use has a falling step
};

// J x K, item-major (item j, rank k at j*K + k): the examinees of estimated
// rank k who answered item j, and those who answered it correctly.
struct ResponsesByRank {
    std::vector<std::int64_t> answered;
    std::vector<std::int64_t> correct;
};

// The report's counts: the responses by rank, and the examinees by score.
struct RankCounts : ResponsesByRank {
    // (maxScore + 1) x K, score-major (score s, rank k at s*K + k): the
    // examinees with number-right score s and estimated rank k.
    std::vector<std::int64_t> scoreRank;
    std::size_t maxScore = 0;  // the highest possible score: the items in use
};

}  // namespace tavrel
