#pragma once
// Batch estimation: posterior memberships, smoothed across neighbouring ranks
// by a K x K filter, re-estimate every learnable cell; the log-likelihood per
// cell is traced until its change meets the criterion.

#include <cstdint>
#include <span>
#include <vector>

#include "common/run_views.hpp"
#include "common/workers.hpp"

namespace tavrel {

class Observer;

// The weight a rank keeps for itself when none is given; tells it.
double defaultPhi(std::int32_t nranks, Observer& observer);

// Identity for phi >= 1, a band for phi >= 1/3, otherwise (NaN included)
// uniform. Entry (row l, column c) at l*K + c; every column sums to 1.
void buildSmoothingFilter(std::span<double> filter, std::int32_t nranks, double phi);

struct BatchSettings {
    std::int32_t maxiter;  // largest number of passes
    double diffcrit;       // the loop ends once the traced value changes by at most this
    bool increase;         // sort every item's profile after each pass
};

// What the loop did: the passes it ran, whether it ended by meeting the
// criterion, and the traced value of every pass.
struct BatchOutcome {
    std::int32_t passes = 0;
    bool converged = false;
    std::vector<double> trace;
};

// Runs up to maxiter passes on the model's profile and tells the trace and,
// without convergence, the note; asks whether to stop after every pass and
// between blocks of examinees. The memberships and their smoothing are
// split by examinees over the workers, the profile's sums by items; the
// log-likelihood is one sum on one worker, beside the next pass's memberships.
// Every number is the same for any number of workers.
BatchOutcome estimateBatch(const ResponseView& data, const Model& model, std::span<const double> filter,
                           const BatchSettings& settings, Workers& workers, Observer& observer);

}  // namespace tavrel
