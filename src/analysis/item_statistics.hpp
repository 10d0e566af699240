#pragma once
// Classical statistics of every item over the examinees who answered it.

#include <cstdint>
#include <vector>

#include "analysis/scores.hpp"
#include "common/run_views.hpp"

namespace tavrel {

class Workers;

struct ItemStatistics {
    std::int64_t respondents = 0;  // n(j)
    std::int64_t correct = 0;      // c1(j)
    double correctRate;            // c1 / n, NaN without respondents
    double threshold;              // the normal quantile of 1 - correctRate
    // Pearson correlation of the item's responses with the examinees' passage
    // rates, over its respondents; NaN where either side is constant.
    double itemTotalCorrelation;
};

// Blocks of items are described on the workers.
std::vector<ItemStatistics> describeItems(const ResponseView& data, const ExamineeScores& scores, Workers& workers);

}  // namespace tavrel
