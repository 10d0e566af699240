#include "analysis/rank_counts.hpp"

#include <utility>

#include "common/workers.hpp"

namespace tavrel {

ResponsesByRank countResponsesByRank(const ResponseView& data, std::span<const std::int32_t> ranks,
                                     std::size_t nranks, Workers& workers) {
    const std::size_t J = data.nitems;
    const std::size_t K = nranks;
    // Rank-major while counting, so that one examinee's row adds to one
    // contiguous row of counts; item-major afterwards, like the profile.
    // Blocks of items count on the workers.
    std::vector<std::int64_t> answered(K * J, 0), correct(K * J, 0);
    forEachRange(workers, J, 2, [&, J](std::size_t j0, std::size_t j1) {
        const ResponseView view = data;
        std::int64_t* const allAnswered = answered.data();
        std::int64_t* const allCorrect = correct.data();
        for (std::size_t i = 0; i < view.nexaminees; ++i) {
            const auto k = static_cast<std::size_t>(ranks[i]);
            const char* x = view.responsesOf(i);
            const char* present = view.presenceOf(i);
            std::int64_t* n = allAnswered + k * J;
            std::int64_t* n1 = allCorrect + k * J;
            for (std::size_t j = j0; j < j1; ++j) {
                const bool takesPart = present[j] == '1';
                n[j] += takesPart;
                n1[j] += takesPart & (x[j] == '1');
            }
        }
    });
    ResponsesByRank c{std::vector<std::int64_t>(J * K), std::vector<std::int64_t>(J * K)};
    for (std::size_t j = 0; j < J; ++j)
        for (std::size_t k = 0; k < K; ++k) {
            c.answered[j * K + k] = answered[k * J + j];
            c.correct[j * K + k] = correct[k * J + j];
        }
    return c;
}

RankCounts countByRank(ResponsesByRank responses, std::span<const std::int32_t> ranks, const ExamineeScores& scores,
                       std::size_t itemsInUse, std::size_t nranks) {
    const std::size_t K = nranks;
    RankCounts c{std::move(responses.answered), std::move(responses.correct), {}, itemsInUse};
    c.scoreRank.assign((itemsInUse + 1) * K, 0);
    for (std::size_t i = 0; i < ranks.size(); ++i) {
        if (!scores.takesPart(i)) continue;
        ++c.scoreRank[static_cast<std::size_t>(scores.score[i]) * K + static_cast<std::size_t>(ranks[i])];
    }
    return c;
}

}  // namespace tavrel
