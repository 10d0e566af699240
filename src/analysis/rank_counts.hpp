#pragma once
// Counts of the examinees who take part (r(i) > 0) by estimated rank: per
// item the answered and correct responses, and per number-right score. The
// report draws them; no statistics file holds them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/scores.hpp"
#include "common/run_views.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Workers;

// `ranks` are 0-based; the data's MissingMask is the one after item use, so
// items out of use count nowhere, and neither do examinees with no response.
// Blocks of items are counted on the workers.
ResponsesByRank countResponsesByRank(const ResponseView& data, std::span<const std::int32_t> ranks,
                                     std::size_t nranks, Workers& workers);

// The responses by rank, as counted, joined by the examinees by score and
// rank (0-based `ranks`).
RankCounts countByRank(ResponsesByRank responses, std::span<const std::int32_t> ranks, const ExamineeScores& scores,
                       std::size_t itemsInUse, std::size_t nranks);

}  // namespace tavrel
