#pragma once
// Observation ratio profiles: per item and rank, the share of the examinees
// of the rank who answered the item, weighted by their memberships or
// counted by their estimated ranks.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/run_views.hpp"

namespace tavrel {

class Workers;

// J x K, item-major: the memberships of the examinees who answered item j,
// summed per rank, over the memberships of all examinees in that rank. Both
// sums of every cell run over the examinees in order; blocks of items on the
// workers.
std::vector<double> weightedObservationRatios(const ResponseView& data, std::span<const double> membership,
                                              std::size_t nranks, Workers& workers);

// J x K, item-major: the examinees of each estimated rank (0-based `ranks`)
// who answered each item (`answered`, countResponsesByRank), over all
// examinees of that rank, also those with no response.
std::vector<double> unweightedObservationRatios(std::span<const std::int64_t> answered,
                                                std::span<const std::int32_t> ranks, std::size_t nitems,
                                                std::size_t nranks);

}  // namespace tavrel
