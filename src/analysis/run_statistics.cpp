#include "analysis/run_statistics.hpp"

namespace tavrel {

RunStatistics computeStatistics(const StatisticsInputs& in, Workers& workers) {
    const std::size_t J = in.data.nitems;
    const std::size_t K = in.nranks;
    RunStatistics s;
    s.scores = scoreExaminees(in.data, workers);
    s.scoreStatistics = describeScores(s.scores);
    s.items = describeItems(in.data, s.scores, workers);

    const std::vector<LogLikelihoods> logLikelihoods =
        itemLogLikelihoods({in.data, in.profile, in.fixedMask, in.membership, in.filter, K}, s.scores, workers);
    const std::size_t examinees = s.scores.scored;
    LogLikelihoods test;
    s.irp.reserve(J);
    s.itemFit.reserve(J);
    bool noItemFalls = true;
    for (std::size_t j = 0; j < J; ++j) {
        s.irp.push_back(irpIndices(in.profile.subspan(j * K, K)));
        const bool answered = s.items[j].respondents > 0;
        s.itemFit.push_back(answered ? fitIndices(logLikelihoods[j], examinees) : missingFit());
        if (in.itemUse[j] != '1') continue;
        ++s.itemsInUse;
        noItemFalls = noItemFalls && s.irp[j].c == 0.0;
        if (!answered) continue;
        const LogLikelihoods& l = logLikelihoods[j];
        test.model = test.model + l.model;
        test.benchmark = test.benchmark + l.benchmark;
        test.null = test.null + l.null;
        test.dfModel = test.dfModel + l.dfModel;
        test.dfNull = test.dfNull + l.dfNull;
    }
    s.testFit = fitIndices(test, examinees);

    s.ranks = describeRanks(in.profile, in.itemUse, in.ranks, in.membership, s.scores, K);
    s.weaklyOrdinal = isWeaklyOrdinal(s.ranks.testReferenceProfile);
    s.stronglyOrdinal = s.weaklyOrdinal && noItemFalls;
    return s;
}

}  // namespace tavrel
