#include "analysis/rank_statistics.hpp"

namespace tavrel {

RankStatistics describeRanks(std::span<const double> profile, std::span<const char> itemUse,
                             std::span<const std::int32_t> ranks, std::span<const double> membership,
                             const ExamineeScores& scores, std::size_t nranks) {
    const std::size_t K = nranks;
    const std::size_t J = itemUse.size();
    RankStatistics r{std::vector<double>(K, 0.0), std::vector<std::int64_t>(K, 0), std::vector<double>(K, 0.0)};
    for (std::size_t k = 0; k < K; ++k)
        for (std::size_t j = 0; j < J; ++j)
            if (itemUse[j] == '1') r.testReferenceProfile[k] = r.testReferenceProfile[k] + profile[j * K + k];
    for (std::size_t i = 0; i < ranks.size(); ++i) {
        if (!scores.takesPart(i)) continue;
        ++r.latentRankDistribution[static_cast<std::size_t>(ranks[i])];
        const double* m = membership.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) r.rankMembershipDistribution[k] = r.rankMembershipDistribution[k] + m[k];
    }
    return r;
}

bool isWeaklyOrdinal(std::span<const double> trp) {
    for (std::size_t k = 0; k + 1 < trp.size(); ++k)
        if (!(trp[k + 1] > trp[k])) return false;
    return true;
}

}  // namespace tavrel
