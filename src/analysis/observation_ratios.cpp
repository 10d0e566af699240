#include "analysis/observation_ratios.hpp"

#include <algorithm>

#include "common/workers.hpp"

namespace tavrel {

std::vector<double> weightedObservationRatios(const ResponseView& data, std::span<const double> membership,
                                              std::size_t nranks, Workers& workers) {
    const std::size_t K = nranks;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    // The block of the first items also sums the denominators. Each block
    // sums into its own rows, so that no two workers write to one cache line
    // per examinee.
    std::vector<double> denominator(K, 0.0);
    std::vector<double> ratios(J * K, 0.0);
    forEachRange(workers, J, 2, [&, K, N](std::size_t j0, std::size_t j1) {
        std::vector<double> block((j1 - j0) * K, 0.0);
        double* const sums = block.data();
        double* const total = j0 == 0 ? denominator.data() : nullptr;
        for (std::size_t i = 0; i < N; ++i) {
            const double* m = membership.data() + i * K;
            if (total != nullptr)
                for (std::size_t k = 0; k < K; ++k) total[k] = total[k] + m[k];
            if (data.presentItems) {
                for (const std::uint32_t entry : data.entriesOf(i, j0, j1)) {
                    double* n = sums + ((entry >> 1) - j0) * K;
                    for (std::size_t k = 0; k < K; ++k) n[k] = n[k] + m[k];
                }
                continue;
            }
            const char* present = data.presenceOf(i);
            for (std::size_t j = j0; j < j1; ++j) {
                if (present[j] != '1') continue;
                double* n = sums + (j - j0) * K;
                for (std::size_t k = 0; k < K; ++k) n[k] = n[k] + m[k];
            }
        }
        std::copy(block.begin(), block.end(), ratios.begin() + static_cast<std::ptrdiff_t>(j0 * K));
    });
    for (std::size_t cell = 0; cell < ratios.size(); ++cell) ratios[cell] = ratios[cell] / denominator[cell % K];
    return ratios;
}

std::vector<double> unweightedObservationRatios(std::span<const std::int64_t> answered,
                                                std::span<const std::int32_t> ranks, std::size_t nitems,
                                                std::size_t nranks) {
    const std::size_t K = nranks;
    std::vector<std::int64_t> assigned(K, 0);
    for (const std::int32_t rank : ranks) ++assigned[static_cast<std::size_t>(rank)];
    std::vector<double> ratios(nitems * K);
    for (std::size_t cell = 0; cell < ratios.size(); ++cell)
        ratios[cell] = double(answered[cell]) / double(assigned[cell % K]);
    return ratios;
}

}  // namespace tavrel
