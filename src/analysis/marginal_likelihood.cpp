#include "analysis/marginal_likelihood.hpp"

#include <cmath>

#include "common/types.hpp"
#include "common/workers.hpp"
#include "estimation/rank_measures.hpp"

namespace tavrel {
namespace {

bool takesPart(const ResponseView& data, std::size_t i) {
    if (data.presentItems) return data.presentItems->start[i] != data.presentItems->start[i + 1];
    const char* present = data.presenceOf(i);
    for (std::size_t j = 0; j < data.nitems; ++j)
        if (present[j] == '1') return true;
    return false;
}

}  // namespace

std::vector<double> marginalLogLikelihoods(const ResponseView& data, std::span<const double> profile,
                                           std::span<const double> prior, std::size_t nranks, Workers& workers) {
    const std::size_t K = nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    // Per item three rows of K, picked by responseCode: log(1 - p), log(p),
    // zeros; both floored as the engine floors them.
    std::vector<double> logs(3 * J * K, 0.0);
    for (std::size_t j = 0; j < J; ++j)
        for (std::size_t k = 0; k < K; ++k) {
            logs[(3 * j) * K + k] = logIncorrect(profile[j * K + k]);
            logs[(3 * j + 1) * K + k] = logCorrect(profile[j * K + k]);
        }
    std::vector<double> logPrior(K);
    std::vector<char> kept(K);
    for (std::size_t k = 0; k < K; ++k) {
        kept[k] = prior[k] > 0.0;  // NaN is not kept either
        logPrior[k] = kept[k] ? std::log(prior[k]) : 0.0;
    }

    std::vector<double> values(N, kNaN);
    forEachRange(
        workers, N, 4,
        [&](std::size_t first, std::size_t end) {
            std::vector<double> terms(K);
            for (std::size_t i = first; i < end; ++i) {
                if (!takesPart(data, i)) continue;
                const char* x = data.responsesOf(i);
                const char* present = data.presenceOf(i);
                for (std::size_t k = 0; k < K; ++k) terms[k] = 0.0;
                if (data.presentItems) {
                    // A missing item's row of zeros adds +0.0 to sums that
                    // start at +0.0: skipping it changes no bit.
                    for (const std::uint32_t entry : data.entriesOf(i, 0, J)) {
                        const double* row = logs.data() + (entry + (entry >> 1)) * K;
                        for (std::size_t k = 0; k < K; ++k) terms[k] = terms[k] + row[k];
                    }
                } else {
                    for (std::size_t j = 0; j < J; ++j) {
                        const double* row = logs.data() + (3 * j + responseCode(x[j], present[j])) * K;
                        for (std::size_t k = 0; k < K; ++k) terms[k] = terms[k] + row[k];
                    }
                }
                // Around the largest term, so that exp neither overflows nor
                // underflows to nothing.
                double m = -kDblMax;
                bool any = false;
                for (std::size_t k = 0; k < K; ++k) {
                    if (!kept[k]) continue;
                    terms[k] = logPrior[k] + terms[k];
                    if (!any || terms[k] > m) m = terms[k];
                    any = true;
                }
                if (!any) continue;
                double sum = 0.0;
                for (std::size_t k = 0; k < K; ++k)
                    if (kept[k]) sum = sum + std::exp(terms[k] - m);
                values[i] = m + std::log(sum);
            }
        },
        kPollRows);
    return values;
}

double marginalLogLikelihood(const ResponseView& data, std::span<const double> perExaminee) {
    double sum = 0.0;
    for (std::size_t i = 0; i < data.nexaminees; ++i)
        if (takesPart(data, i)) sum = sum + perExaminee[i];
    return sum;
}

}  // namespace tavrel
