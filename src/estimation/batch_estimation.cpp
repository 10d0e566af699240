#include "estimation/batch_estimation.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "common/console.hpp"
#include "common/large_array.hpp"
#include "common/types.hpp"
#include "estimation/rank_count.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"

namespace tavrel {

double defaultPhi(std::int32_t nranks, std::ostream& console) {
    const double K = double(nranks);
    double phi;
    if (nranks <= 0)
        phi = 1.0;
    else if (nranks <= 5)
        phi = 1.05 - 0.05 * K;
    else if (nranks <= 10)
        phi = 1.0 - 0.04 * K;
    else if (nranks <= 20)
        phi = 0.8 - 0.02 * K;
    else
        phi = 0.0;
    console << kNote << "phi = " << phi << ".\n";
    return phi;
}

void buildSmoothingFilter(std::span<double> filter, std::int32_t nranks, double phi) {
    const auto K = static_cast<std::size_t>(nranks);
    const auto at = [&](std::size_t row, std::size_t column) -> double& { return filter[row * K + column]; };
    std::fill(filter.begin(), filter.end(), 0.0);
    // A single rank keeps its membership whatever phi is: the band needs two.
    if (phi >= 1.0 || K == 1) {
        for (std::size_t k = 0; k < K; ++k) at(k, k) = 1.0;
    } else if (phi >= 1.0 / 3.0) {
        const double side = (1.0 - phi) / 2.0;
        at(0, 0) = at(1, 0) = 0.5;
        at(K - 2, K - 1) = at(K - 1, K - 1) = 0.5;
        for (std::size_t c = 1; c + 1 < K; ++c) {
            at(c - 1, c) = side;
            at(c, c) = phi;
            at(c + 1, c) = side;
        }
    } else {
        std::fill(filter.begin(), filter.end(), 1.0 / double(K));
    }
}

void smoothMemberships(std::span<double> membership, std::span<const double> filter, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t N = membership.size() / K;
    std::vector<double> row(K);
    withRankCount(K, [&](auto KC) {
        const std::size_t Kc = rankCount<KC>(K);
        for (std::size_t i = 0; i < N; ++i) {
            double* m = membership.data() + i * Kc;
            std::copy(m, m + Kc, row.begin());
            for (std::size_t c = 0; c < Kc; ++c) {
                double w = 0.0;
                for (std::size_t l = 0; l < Kc; ++l) w = w + row[l] * filter[l * Kc + c];
                m[c] = w;
            }
        }
    });
}

namespace {

// Adds every examinee's smoothed row to the sums of the items it answered:
// rows 2j and 2j + 1 of `sums` hold item j's denominators and numerators, and
// row 2J takes the additions of missing and incorrect responses, so the loop
// chooses a row instead of branching on each response.
template <std::size_t KC>
void accumulateRows(const char* responses, const char* missingMask, const double* smoothed, double* sums,
                    std::size_t Kr, std::size_t J, std::size_t N) {
    const std::size_t K = rankCount<KC>(Kr);
    double* const discard = sums + 2 * J * K;
    for (std::size_t i = 0; i < N; ++i) {
        const char* x = responses + i * J;
        const char* present = missingMask + i * J;
        const double* w = smoothed + i * K;
        for (std::size_t j = 0; j < J; ++j) {
            const bool answered = present[j] == '1';
            const bool correct = answered && x[j] == '1';
            double* d = answered ? sums + 2 * j * K : discard;
            double* n = correct ? sums + (2 * j + 1) * K : discard;
            for (std::size_t c = 0; c < K; ++c) d[c] = d[c] + w[c];
            for (std::size_t c = 0; c < K; ++c) n[c] = n[c] + w[c];
        }
    }
}

}  // namespace

void updateProfileSmoothed(const ResponseView& data, std::span<const char> fixedMask, std::span<double> profile,
                           std::span<const double> smoothed, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    // Every cell's sums run over the examinees in order, as cell by cell.
    std::vector<double> sums((2 * J + 1) * K, 0.0);
    withRankCount(K, [&](auto KC) {
        accumulateRows<KC>(data.responses.data(), data.missingMask.data(), smoothed.data(), sums.data(), K, J, N);
    });
    for (std::size_t j = 0; j < J; ++j) {
        for (std::size_t c = 0; c < K; ++c) {
            const std::size_t cell = j * K + c;
            const double den = sums[2 * j * K + c];
            if (fixedMask[cell] != '1' || den == 0.0) continue;
            const double v = sums[(2 * j + 1) * K + c] / den;
            profile[cell] = clipProbability(v);
        }
    }
}

double smoothedLogLikelihood(const ResponseView& data, std::span<const double> profile,
                             std::span<const double> smoothed, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    // Logarithms once per cell, rank-major so that the item loop is
    // contiguous, three per cell in the rows responseCode picks.
    std::vector<double> logs(3 * K * J, 0.0);
    for (std::size_t j = 0; j < J; ++j) {
        for (std::size_t c = 0; c < K; ++c) {
            const double p = profile[j * K + c];
            logs[3 * (c * J + j)] = logIncorrect(p);
            logs[3 * (c * J + j) + 1] = logCorrect(p);
        }
    }
    std::vector<unsigned char> codes(J);
    double L = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        const char* x = data.responsesOf(i);
        const char* present = data.presenceOf(i);
        for (std::size_t j = 0; j < J; ++j) codes[j] = static_cast<unsigned char>(responseCode(x[j], present[j]));
        for (std::size_t c = 0; c < K; ++c) {
            const double w = smoothed[i * K + c];
            if (!(w > kDblMin)) continue;
            // A missing response adds w * 0.0 = +0.0, which leaves L unchanged.
            const double* table = logs.data() + 3 * c * J;
            for (std::size_t j = 0; j < J; ++j) L = L + w * table[3 * j + codes[j]];
        }
    }
    return L;
}

BatchOutcome estimateBatch(const ResponseView& data, const Model& model, std::span<const double> filter,
                           const BatchSettings& settings, std::ostream& console) {
    const std::size_t K = model.nranks;
    std::vector<double> membership = largeArray<double>(data.nexaminees * K);
    console << "iter\tLog-likelihood/(nN)\n";
    // J * N as an integer product over all cells, present or not.
    const double cells = double(data.nitems * data.nexaminees);
    BatchOutcome outcome;
    double previous = 0.0;
    for (std::int32_t t = 0; t < settings.maxiter; ++t) {
        computeMembership(data, model.profile, model.prior, K, 'B', membership);
        smoothMemberships(membership, filter, K);
        updateProfileSmoothed(data, model.fixedMask, model.profile, membership, K);
        if (settings.increase) sortProfileIncreasing(model.profile, K);
        const double v = smoothedLogLikelihood(data, model.profile, membership, K) / cells;
        outcome.passes = t + 1;
        outcome.trace.push_back(v);
        console << t + 1 << '\t' << v;
        if (t == 0) {
            console << "\tchange\n";
        } else {
            const double d = std::fabs(v - previous);
            console << '\t' << d << '\n';
            if (d <= settings.diffcrit) {
                outcome.converged = true;
                return outcome;
            }
        }
        previous = v;
        if (t >= settings.maxiter - 1)
            console << kNote << "Convergence has not been reached to criterion = " << settings.diffcrit << ".\n";
    }
    return outcome;
}

}  // namespace tavrel
