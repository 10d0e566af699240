#pragma once
// Per rank: the test reference profile and how the examinees spread over the
// ranks.

#include <cstdint>
#include <span>
#include <vector>

#include "analysis/scores.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

// Over the examinees who take part (r(i) > 0); ranks are 0-based.
RankStatistics describeRanks(std::span<const double> profile, std::span<const char> itemUse,
                             std::span<const std::int32_t> ranks, std::span<const double> membership,
                             const ExamineeScores& scores, std::size_t nranks);

// TRP rises strictly from every rank to the next (true for a single rank).
bool isWeaklyOrdinal(std::span<const double> testReferenceProfile);

}  // namespace tavrel
