#pragma once
// Fit of the estimated model against two reference models, per item and for
// the whole test.
//
// Analysis model: the item reference profile with the examinees' rank
// memberships as weights. Benchmark model: every group of examinees with the
// same number-right score has its own correct rate. Null model: one correct
// rate for everybody. Each is a log-likelihood over the responses that take
// part; a term whose count is 0 contributes 0.

#include <cstddef>
#include <span>
#include <vector>

#include "analysis/scores.hpp"
#include "common/run_views.hpp"
#include "tavrel/statistics.hpp"

namespace tavrel {

class Workers;

// Log-likelihoods and degrees of freedom of one item, or their sums over items.
struct LogLikelihoods {
    double model = 0.0;      // lA
    double benchmark = 0.0;  // lB
    double null = 0.0;       // lN
    double dfModel = 0.0;    // G - parameters of the analysis model
    double dfNull = 0.0;     // G - 1
};

// What the item log-likelihoods are computed from.
struct FitInputs {
    ResponseView data;                   // MissingMask after item use
    std::span<const double> profile;     // J x K, the finished estimate
    std::span<const char> fixedMask;     // J x K, '1' where a cell was learned
    std::span<const double> membership;  // N x K, the memberships of the statistics
    std::span<const double> filter;      // K x K smoothing filter of the batch method; empty for the others
    std::size_t nranks;
};

// lA, lB, lN and the degrees of freedom of every item; blocks of items on the
// workers.
std::vector<LogLikelihoods> itemLogLikelihoods(const FitInputs& in, const ExamineeScores& scores, Workers& workers);

// The indices from the log-likelihoods and N'; every value NaN where N' < 2.
// RFI, TLI and RMSEA are NaN where dfModel <= 0.
FitIndices fitIndices(const LogLikelihoods& l, std::size_t examinees);

// Every value NaN: the fit of an item without respondents.
FitIndices missingFit();

}  // namespace tavrel
