// The result files of a finished analysis, in their fixed order.

#include "analysis/run_statistics.hpp"
#include "common/processors.hpp"
#include "common/workers.hpp"
#include "output/result_writers.hpp"
#include "output/statistics_writers.hpp"
#include "tavrel/observer.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {

Requests requestsFor(const ResultFileNames& files, bool report, Method method) {
    Requests want;
    want.ranks = files.rankfile.has_value();
    // The membership file writes the distances under Distance.
    if (files.rmpfile) (method == Method::Distance ? want.distances : want.memberships) = true;
    want.weightedRatios = files.worpfile.has_value();
    want.unweightedRatios = files.uorpfile.has_value();
    want.statistics = files.testfile || files.itemfile || files.trpfile || files.examineefile || report;
    want.reportCounts = report;
    return want;
}

void writeResultFiles(const ResultFileNames& files, const Result& result, const Labels& labels, char delimiter,
                      std::size_t threads, Observer& observer) {
    const std::size_t K = result.nranks;
    Workers workers(threads == 0 ? availableProcessors() : std::min(threads, kMostWorkers));
    // A stop is noticed between files: each file is written whole or not at all.
    const auto next = [&](const std::optional<std::string>& file) {
        if (file && observer.stopRequested()) throw Cancelled();
        return file.has_value();
    };
    if (next(files.outfile))
        writeItemReferenceProfile(*files.outfile, result.profile, result.itemUse, K, delimiter, observer);
    if (next(files.rankfile)) writeLatentRanks(*files.rankfile, labels.ids, result.ranks, delimiter, workers, observer);
    if (next(files.rmpfile)) {
        const bool distances = result.method == Method::Distance;
        writeRankMembershipProfiles(*files.rmpfile, labels.ids, distances ? result.distances : result.memberships, K,
                                    delimiter, workers, observer);
    }
    if (next(files.worpfile))
        writeWeightedObservationRatioProfile(*files.worpfile, result.weightedRatios, K, delimiter, observer);
    if (next(files.uorpfile))
        writeUnweightedObservationRatioProfile(*files.uorpfile, result.unweightedRatios, K, delimiter, observer);
    if (!(files.testfile || files.itemfile || files.trpfile || files.examineefile)) return;

    const StatisticsFileInputs in{*result.statistics, result.itemUse, labels.itemNames, result.memberships,
                                  result.ranks,       labels.ids,     {static_cast<char>(result.method), result.passes, result.converged},
                                  K,                  delimiter};
    if (next(files.testfile)) writeTestStatistics(*files.testfile, in, observer);
    if (next(files.itemfile)) writeItemStatistics(*files.itemfile, in, observer);
    if (next(files.trpfile)) writeRankStatistics(*files.trpfile, in, observer);
    if (next(files.examineefile)) writeExamineeStatistics(*files.examineefile, in, workers, observer);
}

}  // namespace tavrel
