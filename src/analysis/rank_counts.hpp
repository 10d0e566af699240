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

namespace tavrel {

class Workers;

// J x K, item-major (item j, rank k at j*K + k): the examinees of estimated
// rank k who answered item j, and those who answered it correctly.
struct ResponsesByRank {
    std::vector<std::int64_t> answered;
    std::vector<std::int64_t> correct;
};

// `ranks` are 0-based; the data's MissingMask is the one after item use, so
// items out of use count nowhere, and neither do examinees with no response.
// Blocks of items are counted on the workers.
ResponsesByRank countResponsesByRank(const ResponseView& data, std::span<const std::int32_t> ranks,
                                     std::size_t nranks, Workers& workers);

// The report's counts: the responses by rank, and the examinees by score.
struct RankCounts : ResponsesByRank {
    // (maxScore + 1) x K, score-major (score s, rank k at s*K + k): the
    // examinees with number-right score s and estimated rank k.
    std::vector<std::int64_t> scoreRank;
    std::size_t maxScore = 0;  // the highest possible score: the items in use
};

// The responses by rank, as counted, joined by the examinees by score and
// rank (0-based `ranks`).
RankCounts countByRank(ResponsesByRank responses, std::span<const std::int32_t> ranks, const ExamineeScores& scores,
                       std::size_t itemsInUse, std::size_t nranks);

}  // namespace tavrel
