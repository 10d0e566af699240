#pragma once
// Every examinee's number of responses and number-right score, and the
// description of the scores over the examinees who responded at all.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/run_views.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Workers;

// Blocks of examinees are scored on the workers.
ExamineeScores scoreExaminees(const ResponseView& data, Workers& workers);

// Over the N' examinees, NaN where a value does not exist. Means first, then
// sums of deviations, in examinee order; a variable whose values are all equal
// has standard deviation exactly 0, and what divides by it is NaN.
ScoreStatistics describeScores(const ExamineeScores& scores);

}  // namespace tavrel
