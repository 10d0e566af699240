#include "driver/output_stage.hpp"

#include <cstdint>
#include <utility>
#include <vector>

#include "analysis/rank_counts.hpp"
#include "analysis/run_statistics.hpp"
#include "common/large_array.hpp"
#include "common/workers.hpp"
#include "estimation/rank_measures.hpp"
#include "output/result_writers.hpp"
#include "report/report_page.hpp"

namespace tavrel {

void writeResults(const RunPlan& plan, const FinishedRun& run, Workers& workers, std::ostream& console) {
    const std::size_t K = run.model.nranks;
    const std::size_t N = run.data.nexaminees;
    const char method = run.estimation.method;
    const std::span<const double> profile = run.model.profile;
    ResultInputs results{run.data, run.ids, profile, run.itemUse, {}, {}, K, run.delimiter};
    if (plan.itemReferenceProfile) writeItemReferenceProfile(*plan.itemReferenceProfile, results, console);

    const bool statistics = plan.wantsStatistics();
    // Under 'L' the membership rows are distances; the statistics use the
    // likelihood's memberships instead.
    const bool methodRows = plan.rankMemberships || plan.weightedRatios || (statistics && method != 'L');
    std::vector<std::int32_t> ranks(plan.wantsRanks() ? N : 0);
    std::vector<double> membership = largeArray<double>(methodRows ? N * K : 0);
    if (!ranks.empty() || !membership.empty())
        rankExaminees(RankScorer(profile, run.model.prior, K, run.data.nitems, method), run.data, ranks, membership,
                      workers);
    results.ranks = ranks;
    results.membership = membership;
    if (plan.latentRanks) writeLatentRanks(*plan.latentRanks, results, workers, console);
    if (plan.rankMemberships) writeRankMembershipProfiles(*plan.rankMemberships, results, workers, console);
    if (plan.weightedRatios) writeWeightedObservationRatioProfile(*plan.weightedRatios, results, workers, console);
    // The unweighted ratios and the report count the same responses by rank.
    ResponsesByRank byRank;
    if (plan.unweightedRatios || plan.report) byRank = countResponsesByRank(run.data, ranks, K, workers);
    if (plan.unweightedRatios)
        writeUnweightedObservationRatioProfile(*plan.unweightedRatios, results, byRank.answered, console);
    if (!statistics) return;

    std::vector<double> likelihoodMembership;
    if (method == 'L') {
        likelihoodMembership = largeArray<double>(N * K);
        rankExaminees(RankScorer(profile, run.model.prior, K, run.data.nitems, 'M'), run.data, {},
                      likelihoodMembership, workers);
    }
    const std::span<const double> memberships = method == 'L' ? likelihoodMembership : membership;
    const RunStatistics stats = computeStatistics(
        {run.data, profile, run.model.fixedMask, run.itemUse, memberships, ranks, run.filter, K}, workers);
    const StatisticsFileInputs files{stats, run.itemUse, run.itemNames, memberships, ranks,
                                     run.ids, run.estimation, K, run.delimiter};
    if (plan.testStatistics) writeTestStatistics(*plan.testStatistics, files, console);
    if (plan.itemStatistics) writeItemStatistics(*plan.itemStatistics, files, console);
    if (plan.rankStatistics) writeRankStatistics(*plan.rankStatistics, files, console);
    if (plan.examineeStatistics) writeExamineeStatistics(*plan.examineeStatistics, files, workers, console);
    if (!plan.report) return;

    const RankCounts counts = countByRank(std::move(byRank), ranks, stats.scores, stats.itemsInUse, K);
    const ReportInputs report{stats,           counts,         profile, run.itemUse, run.itemNames, run.trace,
                              run.parameters,  run.dataFile,   N,       K,           run.estimation};
    writeReport(*plan.report, report, console);
}

}  // namespace tavrel
