// analyze() and classifyExaminees(): the estimation, then every result the
// client asks for, each computed once.

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>
#include <stdexcept>
#include <string>

#include "analysis/analyze_results.hpp"
#include "analysis/marginal_likelihood.hpp"
#include "analysis/observation_ratios.hpp"
#include "analysis/rank_counts.hpp"
#include "analysis/rank_statistics.hpp"
#include "analysis/run_statistics.hpp"
#include "common/interruption.hpp"
#include "common/large_array.hpp"
#include "common/messages.hpp"
#include "common/processors.hpp"
#include "common/types.hpp"
#include "common/workers.hpp"
#include "data/response_data.hpp"
#include "estimation/batch_estimation.hpp"
#include "estimation/rank_measures.hpp"
#include "estimation/sequential_learning.hpp"
#include "tavrel/analysis.hpp"
#include "tavrel/failures.hpp"
#include "tavrel/observer.hpp"

namespace tavrel {
namespace {

void require(bool condition, const std::string& what) {
    if (!condition) throw std::invalid_argument(what);
}

// Other examinees scored under a fit answer the fit's items.
void requireFittedItems(const Result& fit, const ResponseTable& table) {
    require(table.nitems == fit.nitems, "the data must hold the fitted items");
    require(table.responses.size() == arrayCount(std::int64_t(table.nexaminees), std::int64_t(fit.nitems)),
            "the responses must hold N x J answers");
}

// The workers of one call: `threads` of them (0: one per processor the
// process may use), polling `interruption` between blocks.
struct CallWorkers {
    Interruption interruption;
    Workers workers;

    CallWorkers(std::size_t threads, Observer& observer)
        : interruption(observer), workers(chooseThreads(threads), availableProcessors()) {
        workers.setInterruption(&interruption);
    }

    static std::size_t chooseThreads(std::size_t threads) {
        return threads == 0 ? availableProcessors() : std::min(threads, kMostWorkers);
    }
};

// The mask of the responses that take part: present, and of an item in use.
std::vector<char> presenceMask(const ResponseTable& table, std::span<const char> itemUse) {
    const std::size_t J = table.nitems;
    const std::size_t N = table.nexaminees;
    std::vector<char> mask = largeArray<char>(arrayCount(std::int64_t(N), std::int64_t(J)));
    buildMissingMask(table.responses, mask);
    for (std::size_t j = 0; j < J; ++j) {
        if (itemUse[j] == '1') continue;
        for (std::size_t i = 0; i < N; ++i) mask[i * J + j] = '0';
    }
    return mask;
}

// Ranks and memberships of the examinees under a finished model, as the
// requests and the method want them; the rows of the method itself
// (distances under 'L') and the likelihood's memberships that the statistics
// use under 'L'.
struct ScoredExaminees {
    std::vector<std::int32_t> ranks;
    std::vector<double> methodRows;
    std::vector<double> likelihoodRows;  // 'L' only
};

ScoredExaminees scoreUnder(const ResponseView& data, std::span<const double> profile, std::span<const double> prior,
                           std::size_t K, char method, bool wantRanks, bool wantMethodRows, bool wantLikelihoodRows,
                           Workers& workers) {
    ScoredExaminees scored;
    const std::size_t N = data.nexaminees;
    scored.ranks.resize(wantRanks ? N : 0);
    scored.methodRows = largeArray<double>(wantMethodRows ? N * K : 0);
    if (wantRanks || wantMethodRows)
        rankExaminees(RankScorer(profile, prior, K, data.nitems, method), data, scored.ranks, scored.methodRows,
                      workers);
    if (method == 'L' && wantLikelihoodRows) {
        scored.likelihoodRows = largeArray<double>(N * K);
        rankExaminees(RankScorer(profile, prior, K, data.nitems, 'M'), data, {}, scored.likelihoodRows, workers);
    }
    return scored;
}

// How many restarts run: at least one; for the batch method, whose start
// does not depend on the seed, one; no more than keep the last seed within
// 32 bits.
std::int32_t restartCount(std::int32_t asked, std::int32_t seed, Observer& observer) {
    if (asked <= 1) return 1;
    const std::int64_t room = std::int64_t{std::numeric_limits<std::int32_t>::max()} - seed + 1;
    if (asked <= room) return asked;
    warn(observer, "Parameter \"restarts\" is reduced to ", room, ".");
    return static_cast<std::int32_t>(room);
}

// The restarts side by side on the workers, each the computation of a single
// run on its own copy of the starting profile with seed + r; the one whose
// marginal log-likelihood is largest (the first on ties; a number before
// NaN) becomes the result, and every restart is summarised.
void keepBestRestart(const ResponseView& data, SequentialSettings settings, std::int32_t restarts, bool orient,
                     Result& result, CallWorkers& call, Observer& observer) {
    const std::size_t K = result.nranks;
    const std::size_t n = static_cast<std::size_t>(restarts);
    const std::int32_t firstSeed = settings.seed;
    std::vector<std::vector<double>> profiles(n, result.profile);
    observer.progress("Now calculating ");
    PassProgress progress(observer, std::int64_t{restarts} * std::max(settings.schedule.maxiter, 0));
    settings.progress = &progress;
    call.workers.forEachBlock(n, [&](std::size_t r) {
        Workers alone;
        alone.setInterruption(&call.interruption);
        SequentialSettings own = settings;
        own.seed = firstSeed + static_cast<std::int32_t>(r);
        Observer silent;
        learnSequential(data, {profiles[r], result.fixedMask, result.prior, K}, own, alone, silent);
        if (orient) orientProfile(profiles[r], K);
    });
    progress.finish();

    std::vector<double> loglik(n);
    std::size_t kept = 0;
    for (std::size_t r = 0; r < n; ++r) {
        loglik[r] = marginalLogLikelihood(
            data, marginalLogLikelihoods(data, profiles[r], result.prior, K, call.workers));
        if (r > 0 && (loglik[r] > loglik[kept] || (std::isnan(loglik[kept]) && !std::isnan(loglik[r])))) kept = r;
    }
    // Each restart's ranks beside the kept run's, over the examinees with responses.
    const char method = static_cast<char>(result.method);
    std::vector<std::vector<std::int32_t>> ranks(n, std::vector<std::int32_t>(data.nexaminees));
    for (std::size_t r = 0; r < n; ++r)
        rankExaminees(RankScorer(profiles[r], result.prior, K, data.nitems, method), data, ranks[r], {},
                      call.workers);
    std::vector<char> takesPart(data.nexaminees, 0);
    std::size_t scored = 0;
    for (std::size_t i = 0; i < data.nexaminees; ++i) {
        const char* present = data.presenceOf(i);
        takesPart[i] = std::find(present, present + data.nitems, '1') != present + data.nitems;
        scored += takesPart[i];
    }
    for (std::size_t r = 0; r < n; ++r) {
        std::vector<double> trp(K, 0.0);
        for (std::size_t j = 0; j < data.nitems; ++j)
            if (result.itemUse[j] == '1')
                for (std::size_t k = 0; k < K; ++k) trp[k] = trp[k] + profiles[r][j * K + k];
        std::size_t same = 0;
        for (std::size_t i = 0; i < data.nexaminees; ++i) same += takesPart[i] && ranks[r][i] == ranks[kept][i];
        result.restarts.push_back({firstSeed + static_cast<std::int32_t>(r), loglik[r], isWeaklyOrdinal(trp),
                                   scored == 0 ? kNaN : double(same) / double(scored), r == kept});
    }
    result.profile = std::move(profiles[kept]);
    result.seed = firstSeed + static_cast<std::int32_t>(kept);
    result.loglikMarginal = loglik[kept];
    note(observer, "Restart ", kept + 1, " of ", n, " (seed ", result.seed, ") has the largest log-likelihood, ",
         loglik[kept], ".");
}

}  // namespace

void computeRequested(const ResponseView& data, const Requests& want, Result& result, Workers& workers) {
    const std::size_t J = data.nitems;
    const std::size_t K = result.nranks;
    const char method = static_cast<char>(result.method);
    // What each result needs: the statistics need ranks and memberships; the
    // weighted ratios the method's rows; the unweighted ratios and the
    // report's counts the ranks and the responses by rank. Under 'L' the
    // method's rows are distances, and the memberships are the likelihood's.
    const bool statistics = want.statistics || want.reportCounts;
    const bool ranks = want.ranks || want.unweightedRatios || statistics;
    const bool memberships = want.memberships || statistics;
    const bool methodRows = want.weightedRatios || (method == 'L' ? want.distances : memberships);
    const bool likelihoodRows = method == 'L' && memberships;
    ScoredExaminees scored =
        scoreUnder(data, result.profile, result.prior, K, method, ranks, methodRows, likelihoodRows, workers);
    if (want.weightedRatios) result.weightedRatios = weightedObservationRatios(data, scored.methodRows, K, workers);
    ResponsesByRank byRank;
    if (want.unweightedRatios || want.reportCounts) byRank = countResponsesByRank(data, scored.ranks, K, workers);
    if (want.unweightedRatios)
        result.unweightedRatios = unweightedObservationRatios(byRank.answered, scored.ranks, J, K);
    if (method == 'L') {
        result.distances = std::move(scored.methodRows);
        result.memberships = std::move(scored.likelihoodRows);
    } else {
        result.memberships = std::move(scored.methodRows);
    }
    if (statistics) {
        workers.ask();
        result.statistics = computeStatistics(
            {data, result.profile, result.fixedMask, result.itemUse, result.memberships, scored.ranks, result.filter,
             K},
            workers);
        if (want.reportCounts)
            result.counts = countByRank(std::move(byRank), scored.ranks, result.statistics->scores,
                                        result.statistics->itemsInUse, K);
    }
    result.ranks = std::move(scored.ranks);
}

PreparedResponses::PreparedResponses(const ResponseTable& table, const Options& options) {
    const std::size_t J = table.nitems;
    const std::size_t N = table.nexaminees;
    require(table.responses.size() == arrayCount(std::int64_t(N), std::int64_t(J)),
            "the responses must hold N x J answers");
    require(options.itemUse.empty() || options.itemUse.size() == J, "the item use must hold J flags");
    itemUse.assign(options.itemUse.begin(), options.itemUse.end());
    if (itemUse.empty()) itemUse.assign(J, '1');
    mask = presenceMask(table, itemUse);
    view = {table.responses, mask, J, N};
    // The batch passes, the scoring and the statistics visit only the
    // present responses where many are missing (booklet designs); complete
    // data keep the dense sweeps. The sequential methods sweep the dense
    // matrix, which costs them little per missing cell.
    if (worthListingPresent(view, options.listPresentFrom)) {
        presentItems = listPresentItems(view);
        view.presentItems = &presentItems;
    }
}

Result analyze(const ResponseTable& table, const Options& options, Observer& observer) {
    if (options.nranks < 1) throw FatalSetting("Number of latent ranks must be 1 or more.");
    const PreparedResponses prepared(table, options);
    return analyzePrepared(prepared, options, observer);
}

Result analyzePrepared(const PreparedResponses& prepared, const Options& options, Observer& observer) {
    if (options.nranks < 1) throw FatalSetting("Number of latent ranks must be 1 or more.");
    const ResponseView& data = prepared.view;
    const std::size_t J = data.nitems;
    const std::size_t N = data.nexaminees;
    const auto K = static_cast<std::size_t>(options.nranks);
    const std::size_t cells = arrayCount(std::int64_t(J), options.nranks);
    require(options.prior.empty() || options.prior.size() == K, "the prior must hold K values");
    require(options.fixedMask.size() == options.fixedValues.size() && (options.fixedMask.empty() ||
                                                                       options.fixedMask.size() == cells),
            "a fixed profile must hold J x K values and J x K mask flags");

    CallWorkers call(options.threads, observer);
    Workers& workers = call.workers;
    const char method = static_cast<char>(options.method);

    Result result;
    result.nitems = J;
    result.nexaminees = N;
    result.nranks = K;
    result.method = options.method;
    result.itemUse = prepared.itemUse;

    result.fixedMask.assign(cells, '1');
    result.profile.resize(cells);
    for (std::size_t j = 0; j < J; ++j)
        for (std::size_t k = 0; k < K; ++k) result.profile[j * K + k] = double(k + 1) / double(std::int64_t(K) + 1);
    for (std::size_t cell = 0; cell < options.fixedMask.size(); ++cell) {
        if (options.fixedMask[cell] == '1') continue;
        result.fixedMask[cell] = '0';
        result.profile[cell] = options.fixedValues[cell];
    }
    result.prior.assign(options.prior.begin(), options.prior.end());
    if (result.prior.empty()) result.prior.assign(K, 1.0 / double(K));

    const Model model{result.profile, result.fixedMask, result.prior, K};
    if (method == 'G') {
        if (options.restarts > 1) warn(observer, "Parameter \"restarts\" has no effect on the batch method.");
        result.phi = options.phi ? *options.phi : defaultPhi(options.nranks, observer);
        result.filter.resize(K * K);
        buildSmoothingFilter(result.filter, options.nranks, result.phi);
        BatchOutcome outcome = estimateBatch(data, model, result.filter,
                                             {options.maxiter, options.diffcrit, options.increase}, workers, observer);
        result.passes = outcome.passes;
        result.converged = outcome.converged;
        result.trace = std::move(outcome.trace);
    } else {
        const LearningSchedule schedule{options.maxiter, options.alpha1, options.alphat, options.sigma1,
                                        options.sigmat};
        // The clock is read once: every restart counts on from it.
        const std::int32_t seed = options.seed > 0 ? options.seed : static_cast<std::int32_t>(std::time(nullptr));
        const std::int32_t restarts = restartCount(options.restarts, seed, observer);
        if (restarts == 1) {
            result.seed = learnSequential(data, model, {schedule, seed, method, options.increase}, workers, observer);
            if (!options.fixedMask.empty()) orientProfile(result.profile, K);
        } else {
            keepBestRestart(data, {schedule, seed, method, options.increase}, restarts, !options.fixedMask.empty(),
                            result, call, observer);
        }
        result.passes = std::max(options.maxiter, 0);
    }
    if (method == 'G' && !options.fixedMask.empty()) orientProfile(result.profile, K);
    if (options.requests.marginal && result.restarts.empty()) {
        const std::vector<double> values = marginalLogLikelihoods(data, result.profile, result.prior, K, workers);
        result.loglikMarginal = marginalLogLikelihood(data, values);
    }
    computeRequested(data, options.requests, result, workers);
    return result;
}

std::vector<double> marginalLogLikelihoods(const Result& fit, const ResponseTable& table, std::size_t threads,
                                           Observer& observer) {
    const std::size_t J = fit.nitems;
    requireFittedItems(fit, table);
    CallWorkers call(threads, observer);
    const std::vector<char> mask = presenceMask(table, fit.itemUse);
    return marginalLogLikelihoods({table.responses, mask, J, table.nexaminees}, fit.profile, fit.prior, fit.nranks,
                                  call.workers);
}

Ranking classifyExaminees(const Result& fit, const ResponseTable& table, bool ranks, bool memberships,
                          std::size_t threads, Observer& observer) {
    const std::size_t J = fit.nitems;
    const std::size_t K = fit.nranks;
    requireFittedItems(fit, table);
    CallWorkers call(threads, observer);
    const std::vector<char> mask = presenceMask(table, fit.itemUse);
    const ResponseView data{table.responses, mask, J, table.nexaminees};
    const char method = static_cast<char>(fit.method);
    // The statistics' memberships: the method's, but the likelihood's under 'L'.
    ScoredExaminees scored = scoreUnder(data, fit.profile, fit.prior, K, method, ranks, memberships && method != 'L',
                                        memberships, call.workers);
    Ranking ranking;
    ranking.ranks = std::move(scored.ranks);
    ranking.memberships = method == 'L' ? std::move(scored.likelihoodRows) : std::move(scored.methodRows);
    return ranking;
}

}  // namespace tavrel
