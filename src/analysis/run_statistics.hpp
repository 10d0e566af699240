#pragma once
// Every statistic of a finished run: examinee scores, item statistics, the
// shape of each item reference profile, model fit per item and for the test,
// and the distribution over the ranks. Computed once from the data, the
// finished estimate and the memberships; nothing here reads or writes a file.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "analysis/irp_indices.hpp"
#include "analysis/item_statistics.hpp"
#include "analysis/model_fit.hpp"
#include "analysis/rank_statistics.hpp"
#include "analysis/scores.hpp"
#include "common/run_views.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Workers;

struct StatisticsInputs {
    ResponseView data;                    // MissingMask after item use
    std::span<const double> profile;      // J x K, the finished estimate
    std::span<const char> fixedMask;      // J x K
    std::span<const char> itemUse;        // J
    std::span<const double> membership;   // N x K: the run's memberships; the likelihood's under method 'L'
    std::span<const std::int32_t> ranks;  // N, each examinee's latent rank, 0-based
    std::span<const double> filter;       // K x K for the batch method, empty otherwise
    std::size_t nranks;
};

// The sums over examinees run on the workers in blocks of items (or of
// examinees where each examinee's values stand alone): the same bits for any
// number of workers.
RunStatistics computeStatistics(const StatisticsInputs& in, Workers& workers);

}  // namespace tavrel
