// The rank sweep: analyses of one table at several rank counts, side by side.

#include <atomic>
#include <cmath>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>

#include "analysis/analyze_results.hpp"
#include "common/messages.hpp"
#include "common/processors.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"
#include "tavrel/analysis.hpp"
#include "tavrel/observer.hpp"

namespace tavrel {
namespace {

// Pearson's correlation of the examinees' ranks (from 1) and scores over
// those with responses: means first, then the sums of deviations, in
// examinee order; NaN where either side does not vary.
double rankScoreCorrelation(const Result& result) {
    const ExamineeScores& scores = result.statistics->scores;
    const std::size_t N = result.ranks.size();
    double rankMean = 0.0, scoreMean = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        if (!scores.takesPart(i)) continue;
        rankMean = rankMean + double(result.ranks[i] + 1);
        scoreMean = scoreMean + double(scores.score[i]);
    }
    const double n = double(scores.scored);
    rankMean = rankMean / n;
    scoreMean = scoreMean / n;
    double sxy = 0.0, sxx = 0.0, syy = 0.0;
    for (std::size_t i = 0; i < N; ++i) {
        if (!scores.takesPart(i)) continue;
        const double x = double(result.ranks[i] + 1) - rankMean;
        const double y = double(scores.score[i]) - scoreMean;
        sxy = sxy + x * y;
        sxx = sxx + x * x;
        syy = syy + y * y;
    }
    if (!(sxx > 0.0) || !(syy > 0.0)) return kNaN;
    return sxy / std::sqrt(sxx * syy);
}

// The observer of the runs of a sweep: they tell nothing; on the sweep's own
// thread a question whether to stop goes on to the sweep's observer, which
// is also when the finished rank counts are told.
class SweepObserver : public Observer {
public:
    SweepObserver(Observer& outer, std::function<void()> tell)
        : outer_(outer), tell_(std::move(tell)), owner_(std::this_thread::get_id()) {}

    bool stopRequested() override {
        if (std::this_thread::get_id() == owner_) {
            tell_();
            if (outer_.stopRequested()) stop_.store(true, std::memory_order_relaxed);
        }
        return stop_.load(std::memory_order_relaxed);
    }

private:
    Observer& outer_;
    std::function<void()> tell_;
    std::thread::id owner_;
    std::atomic<bool> stop_{false};
};

}  // namespace

SweepRow sweepRow(const Result& result) {
    if (!result.statistics) throw std::invalid_argument("a sweep row needs a result with statistics");
    const RunStatistics& s = *result.statistics;
    SweepRow row;
    row.nranks = static_cast<std::int32_t>(result.nranks);
    row.method = result.method;
    row.seed = result.seed;
    row.passes = result.passes;
    row.converged = result.converged;
    row.loglikMarginal = result.loglikMarginal;
    row.fit = s.testFit;
    row.weaklyOrdinal = s.weaklyOrdinal;
    row.stronglyOrdinal = s.stronglyOrdinal;
    row.smallestRankShare = kNaN;
    if (s.scores.scored > 0)
        for (std::size_t k = 0; k < result.nranks; ++k) {
            const double share = double(s.ranks.latentRankDistribution[k]) / double(s.scores.scored);
            if (k == 0 || share < row.smallestRankShare) row.smallestRankShare = share;
        }
    row.rankScoreCorrelation = s.scores.scored > 0 ? rankScoreCorrelation(result) : kNaN;
    return row;
}

std::vector<SweepRow> sweepRanks(const ResponseTable& table, const Options& options,
                                 std::span<const std::int32_t> rankCounts, const Result* done, Observer& observer) {
    if (!options.prior.empty() || !options.fixedMask.empty())
        throw std::invalid_argument("a rank sweep cannot use a prior or a fixed profile: both depend on K");
    Options each = options;
    each.requests = {};
    each.requests.statistics = true;
    each.requests.marginal = true;
    each.threads = 1;
    // One clock seed for every rank count.
    if (each.method != Method::Batch && each.seed <= 0) each.seed = static_cast<std::int32_t>(std::time(nullptr));

    const std::size_t n = rankCounts.size();
    std::vector<SweepRow> rows(n);
    const std::unique_ptr<std::atomic<bool>[]> finished(new std::atomic<bool>[n]);
    for (std::size_t b = 0; b < n; ++b) finished[b].store(false);
    std::size_t told = 0;
    const auto tellFinished = [&] {
        for (; told < n && finished[told].load(std::memory_order_acquire); ++told)
            note(observer, "Rank sweep: K = ", rankCounts[told], " is estimated.");
    };
    SweepObserver inner(observer, tellFinished);
    // The runs share the mask and the list of present items.
    const PreparedResponses prepared(table, each);
    const std::size_t threads = options.threads == 0 ? availableProcessors() : std::min(options.threads, kMostWorkers);
    Workers workers(threads);
    workers.forEachBlock(n, [&](std::size_t b) {
        if (done != nullptr && static_cast<std::size_t>(rankCounts[b]) == done->nranks) {
            rows[b] = sweepRow(*done);
        } else {
            Options own = each;
            own.nranks = rankCounts[b];
            rows[b] = sweepRow(analyzePrepared(prepared, own, inner));
        }
        finished[b].store(true, std::memory_order_release);
        inner.stopRequested();  // tells what has finished, on the sweep's own thread
    });
    tellFinished();
    return rows;
}

}  // namespace tavrel
