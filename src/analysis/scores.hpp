#pragma once
// Every examinee's number of responses and number-right score, and the
// description of the scores over the examinees who responded at all.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/run_views.hpp"

namespace tavrel {

class Workers;

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

// Blocks of examinees are scored on the workers.
ExamineeScores scoreExaminees(const ResponseView& data, Workers& workers);

// Over the N' examinees, NaN where a value does not exist. Means first, then
// sums of deviations, in examinee order; a variable whose values are all equal
// has standard deviation exactly 0, and what divides by it is NaN.
struct ScoreStatistics {
    double mean, seMean, sd, skewness, kurtosis, min, max;  // of s(i)
    double rateMean, rateSd;                                // of q(i)
};

ScoreStatistics describeScores(const ExamineeScores& scores);

}  // namespace tavrel
