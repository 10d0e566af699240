#pragma once
// Classical statistics of every item over the examinees who answered it.

#include <cstdint>
#include <vector>

#include "analysis/scores.hpp"
#include "common/run_views.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Workers;

// Blocks of items are described on the workers.
std::vector<ItemStatistics> describeItems(const ResponseView& data, const ExamineeScores& scores, Workers& workers);

}  // namespace tavrel
