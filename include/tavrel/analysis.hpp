#pragma once
// The analysis: estimate the item reference profile from a response table,
// then whatever results the options ask for; and scoring other examinees
// under a finished profile.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "tavrel/options.hpp"
#include "tavrel/responses.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Observer;

// One run of several with other seeds (Options::restarts).
struct RestartSummary {
    std::int32_t seed = 0;
    double loglikMarginal = 0.0;  // the marginal log-likelihood of its profile
    bool weaklyOrdinal = false;   // its test reference profile rises from rank to rank
    double sameRankShare = 0.0;   // the share of examinees with responses whose rank is the kept run's
    bool kept = false;
};

// A finished analysis. It holds no reference to the response table.
struct Result {
    std::size_t nitems = 0;      // J
    std::size_t nexaminees = 0;  // N
    std::size_t nranks = 0;      // K
    Method method = Method::Likelihood;

    std::vector<double> profile;  // J x K, item-major: the item reference profile
    std::vector<char> fixedMask;  // J x K, '1' where the cell was learned
    std::vector<char> itemUse;    // J, '1' for an item in use
    std::vector<double> prior;    // K, as used
    std::vector<double> filter;   // K x K, the batch method's smoothing filter; empty for the others
    double phi = 0.0;             // the batch method's smoothing weight

    std::int32_t passes = 0;     // passes run
    bool converged = false;      // batch: the criterion was met
    std::vector<double> trace;   // batch: log-likelihood per response cell after each pass
    std::int32_t seed = 0;       // sequential methods: the seed of the examinee order used; batch: 0
    // The marginal log-likelihood (with several restarts, or when requested;
    // NaN otherwise), and every restart when there were several.
    double loglikMarginal = std::numeric_limits<double>::quiet_NaN();
    std::vector<RestartSummary> restarts;

    // Requested results; empty when not asked for.
    std::vector<std::int32_t> ranks;      // N, 0-based, as the rank file gives them
    std::vector<double> memberships;      // N x K: the method's; under Distance the likelihood's
    std::vector<double> distances;        // N x K, Distance only: the rows the membership file writes
    std::optional<RunStatistics> statistics;
    std::vector<double> weightedRatios;   // J x K
    std::vector<double> unweightedRatios; // J x K
    std::optional<RankCounts> counts;
};

// Estimates the profile of the table under the options and computes what
// they request. Notes and progress go to the observer, which may stop the
// run (Cancelled). Fails with FatalSetting (fewer than one rank),
// std::invalid_argument (arrays of the wrong size), std::bad_alloc.
Result analyze(const ResponseTable& table, const Options& options, Observer& observer);

// One rank count of a sweep: the test file's values of an analysis with that
// many ranks, and how well its ranks are filled and ordered.
struct SweepRow {
    std::int32_t nranks = 0;
    Method method = Method::Likelihood;
    std::int32_t seed = 0;  // the kept run's seed; 0 for the batch method
    std::int32_t passes = 0;
    bool converged = false;  // batch only
    double loglikMarginal = 0.0;
    FitIndices fit{};
    bool weaklyOrdinal = false;
    bool stronglyOrdinal = false;
    double smallestRankShare = 0.0;     // the smallest LRD(k) / N'; NaN without examinees
    double rankScoreCorrelation = 0.0;  // Pearson's r of rank and score over the N' examinees
};

// The row of a finished analysis (which holds its statistics and marginal
// log-likelihood).
SweepRow sweepRow(const Result& result);

// Analyses of `table` under `options` at each rank count of `rankCounts`
// (ascending, each once), side by side on the workers, each as a single run
// with that count would be (one clock seed for all when the options give
// none). A count equal to `done`'s is taken from it instead of estimated
// again. Tells "Rank sweep: K = k is estimated." for each count as soon as
// it and every smaller one have finished; nothing else of the runs.
std::vector<SweepRow> sweepRanks(const ResponseTable& table, const Options& options,
                                 std::span<const std::int32_t> rankCounts, const Result* done, Observer& observer);

// The marginal log-likelihood of each examinee of `table` (the fit's J
// items) under the fit's profile and prior: log sum over k of prior(k) times
// the likelihood of the responses at rank k; NaN for an examinee without a
// response that takes part.
std::vector<double> marginalLogLikelihoods(const Result& fit, const ResponseTable& table, std::size_t threads,
                                           Observer& observer);

// Examinees scored under a finished profile, used as it stands.
struct Ranking {
    std::vector<std::int32_t> ranks;  // N, 0-based: as the rank file computes them for the method
    std::vector<double> memberships;  // N x K: as the statistics use them
};

// Scores the examinees of `table` (the fit's J items, in its order) under the
// fit's profile, prior and item use. `threads` as in Options.
Ranking classifyExaminees(const Result& fit, const ResponseTable& table, bool ranks, bool memberships,
                      std::size_t threads, Observer& observer);

}  // namespace tavrel
