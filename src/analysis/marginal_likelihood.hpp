#pragma once
// The marginal log-likelihood of the examinees under a finished profile and
// the prior: per examinee i with responses,
//   lM(i) = log sum over k of prior(k) * exp(l(i, k)),
// where l(i, k) sums the floored logarithms of the probabilities of i's
// responses at rank k, items in order. Ranks whose prior is 0 or less or NaN
// are left out; lM(i) is NaN when none remain.

#include <cstddef>
#include <span>
#include <vector>

#include "common/run_views.hpp"

namespace tavrel {

class Workers;

// lM(i) of every examinee, NaN for one without a response that takes part;
// blocks of examinees on the workers.
std::vector<double> marginalLogLikelihoods(const ResponseView& data, std::span<const double> profile,
                                           std::span<const double> prior, std::size_t nranks, Workers& workers);

// The sum of lM(i) over the examinees with a response that takes part, in
// examinee order (NaN terms included).
double marginalLogLikelihood(const ResponseView& data, std::span<const double> perExaminee);

}  // namespace tavrel
