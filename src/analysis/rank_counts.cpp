#include "analysis/rank_counts.hpp"

#include <utility>

#include "common/workers.hpp"

namespace tavrel {

ResponsesByRank countResponsesByRank(const ResponseView& data, std::span<const std::int32_t> ranks,
                                     std::size_t nranks, Workers& workers) {
    const std::size_t J = data.nitems;
    const std::size_t K = nranks;
    // Blocks of items count on the workers, each into counts of its own
    // (no two workers write to one cache line per examinee): rank-major while
    // counting, so that one examinee's row adds to one contiguous row of
    // counts; item-major in the result, like the profile.
    ResponsesByRank c{std::vector<std::int64_t>(J * K), std::vector<std::int64_t>(J * K)};
    forEachRange(workers, J, 2, [&](std::size_t j0, std::size_t j1) {
        const ResponseView view = data;
        const std::size_t width = j1 - j0;
        std::vector<std::int64_t> answered(K * width, 0), correct(K * width, 0);
        if (view.presentItems) {
            for (std::size_t i = 0; i < view.nexaminees; ++i) {
                const auto k = static_cast<std::size_t>(ranks[i]);
                for (const std::uint32_t entry : view.entriesOf(i, j0, j1)) {
                    const std::size_t at = k * width + (entry >> 1) - j0;
                    ++answered[at];
                    correct[at] += entry & 1u;
                }
            }
        } else {
            for (std::size_t i = 0; i < view.nexaminees; ++i) {
                const auto k = static_cast<std::size_t>(ranks[i]);
                const char* x = view.responsesOf(i) + j0;
                const char* present = view.presenceOf(i) + j0;
                std::int64_t* n = answered.data() + k * width;
                std::int64_t* n1 = correct.data() + k * width;
                for (std::size_t j = 0; j < width; ++j) {
                    const bool takesPart = present[j] == '1';
                    n[j] += takesPart;
                    n1[j] += takesPart & (x[j] == '1');
                }
            }
        }
        for (std::size_t j = 0; j < width; ++j)
            for (std::size_t k = 0; k < K; ++k) {
                c.answered[(j0 + j) * K + k] = answered[k * width + j];
                c.correct[(j0 + j) * K + k] = correct[k * width + j];
            }
    });
    return c;
}

RankCounts countByRank(ResponsesByRank responses, std::span<const std::int32_t> ranks, const ExamineeScores& scores,
                       std::size_t itemsInUse, std::size_t nranks) {
    const std::size_t K = nranks;
    RankCounts c{std::move(responses), {}, itemsInUse};
    c.scoreRank.assign((itemsInUse + 1) * K, 0);
    for (std::size_t i = 0; i < ranks.size(); ++i) {
        if (!scores.takesPart(i)) continue;
        ++c.scoreRank[static_cast<std::size_t>(scores.score[i]) * K + static_cast<std::size_t>(ranks[i])];
    }
    return c;
}

}  // namespace tavrel
