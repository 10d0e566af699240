#pragma once
// Batch estimation: posterior memberships, smoothed across neighbouring ranks
// by a K x K filter, re-estimate every learnable cell; the log-likelihood per
// cell is traced until its change meets the criterion.

#include <cstdint>
#include <iosfwd>
#include <span>

namespace tavrel {

// The weight a rank keeps for itself when the settings give none; prints it.
double defaultPhi(std::int32_t nranks, std::ostream& console);

// Identity for phi >= 1, a band for phi >= 1/3, otherwise (NaN included)
// uniform. Entry (row l, column c) at l*K + c; every column sums to 1.
void buildSmoothingFilter(std::span<double> filter, std::int32_t nranks, double phi);

// Replaces every membership row m by its smoothed row w, where
// w(c) = sum over l in order of m(l) * filter(l, c).
void smoothMemberships(std::span<double> membership, std::span<const double> filter, std::int32_t nranks,
                       std::int32_t nexaminees);

// Every learnable cell becomes the smoothed-membership-weighted share of
// correct responses among the examinees who answered the item, clipped to
// [DBL_MIN, 1]; a cell of an item nobody answered keeps its value.
void updateProfileSmoothed(std::span<const char> responses, std::span<const char> missingMask,
                           std::span<const char> fixedMask, std::span<double> profile,
                           std::span<const double> smoothed, std::int32_t nranks, std::int32_t nitems,
                           std::int32_t nexaminees);

// Sum in the order examinee, rank, item of w * log(q) over the present
// responses, skipping weights not above DBL_MIN.
double smoothedLogLikelihood(std::span<const char> responses, std::span<const char> missingMask,
                             std::span<const double> profile, std::span<const double> smoothed,
                             std::int32_t nranks, std::int32_t nitems, std::int32_t nexaminees);

// Runs up to maxiter passes and prints the trace and, without convergence,
// the note.
void estimateBatch(std::span<const char> responses, std::span<const char> missingMask,
                   std::span<const char> fixedMask, std::span<double> profile, std::span<const double> prior,
                   std::span<const double> filter, std::int32_t maxiter, double diffcrit, std::int32_t nranks,
                   std::int32_t nitems, std::int32_t nexaminees, bool increase, std::ostream& console);

}  // namespace tavrel
