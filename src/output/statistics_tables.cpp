// The statistics of a Result as the files' named columns.

#include <stdexcept>
#include <string>

#include "common/types.hpp"
#include "output/statistics_writers.hpp"
#include "tavrel/tables.hpp"

namespace tavrel {
namespace {

const RunStatistics& statisticsOf(const Result& result) {
    if (!result.statistics) throw std::invalid_argument("the result holds no statistics: request them");
    return *result.statistics;
}

EstimationSummary summaryOf(const Result& result) {
    return {static_cast<char>(result.method), result.passes, result.converged};
}

Column column(std::string_view name, Column::Kind kind, std::size_t rows) {
    return {std::string(name), kind, std::vector<double>(rows, kNaN)};
}

}  // namespace

std::vector<TestEntry> testStatisticsTable(const Result& result) {
    return testEntries(statisticsOf(result), summaryOf(result), result.nranks);
}

std::vector<Column> itemStatisticsTable(const Result& result) {
    const RunStatistics& s = statisticsOf(result);
    const std::size_t J = result.nitems;
    std::vector<Column> columns;
    for (const std::string_view name : kItemFields) {
        const bool count = name == "respondents" || name == "alpha" || name == "beta";
        columns.push_back(column(name, count ? Column::Kind::Count : Column::Kind::Number, J));
    }
    for (const auto& field : kFitFields) columns.push_back(column(field.first, Column::Kind::Number, J));
    for (std::size_t j = 0; j < J; ++j) {
        if (result.itemUse[j] != '1') continue;  // NA throughout
        const ItemStatistics& item = s.items[j];
        const IrpIndices& irp = s.irp[j];
        const double values[] = {double(item.respondents),
                                 item.correctRate,
                                 item.threshold,
                                 item.itemTotalCorrelation,
                                 irp.alpha ? double(*irp.alpha) : kNaN,
                                 irp.a,
                                 double(irp.beta),
                                 irp.b,
                                 irp.gamma,
                                 irp.c};
        std::size_t c = 0;
        for (const double v : values) columns[c++].values[j] = v;
        for (const auto& field : kFitFields) columns[c++].values[j] = s.itemFit[j].*field.second;
    }
    return columns;
}

std::vector<Column> rankStatisticsTable(const Result& result) {
    const RankStatistics& r = statisticsOf(result).ranks;
    const std::size_t K = result.nranks;
    std::vector<Column> columns{column(kRankFields[0], Column::Kind::Number, K),
                                column(kRankFields[1], Column::Kind::Count, K),
                                column(kRankFields[2], Column::Kind::Number, K)};
    for (std::size_t k = 0; k < K; ++k) {
        columns[0].values[k] = r.testReferenceProfile[k];
        columns[1].values[k] = double(r.latentRankDistribution[k]);
        columns[2].values[k] = r.rankMembershipDistribution[k];
    }
    return columns;
}

std::vector<Column> examineeStatisticsTable(const Result& result) {
    const RunStatistics& s = statisticsOf(result);
    const ExamineeScores& scores = s.scores;
    const std::size_t N = result.nexaminees;
    const std::size_t K = result.nranks;
    std::vector<Column> columns{column(kExamineeScoreFields[0], Column::Kind::Count, N),
                                column(kExamineeScoreFields[1], Column::Kind::Count, N),
                                column(kExamineeScoreFields[2], Column::Kind::Number, N),
                                column(kExamineeScoreFields[3], Column::Kind::Number, N)};
    for (std::size_t k = 1; k <= K; ++k)
        columns.push_back(column("membership_" + std::to_string(k), Column::Kind::Number, N));
    columns.push_back(column(kExamineeRankFields[0], Column::Kind::Count, N));
    columns.push_back(column(kExamineeRankFields[1], Column::Kind::Number, N));
    columns.push_back(column(kExamineeRankFields[2], Column::Kind::Number, N));
    for (std::size_t i = 0; i < N; ++i) {
        columns[0].values[i] = scores.responses[i];
        columns[1].values[i] = scores.score[i];
        columns[2].values[i] = scores.takesPart(i) ? scores.passageRate(i) : kNaN;
        columns[3].values[i] = standardizedScore(s, i);
        const double* m = result.memberships.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) columns[4 + k].values[i] = m[k];
        const auto R = static_cast<std::size_t>(result.ranks[i]);
        columns[4 + K].values[i] = double(R + 1);
        columns[5 + K].values[i] = R + 1 < K ? m[R + 1] / m[R] : kNaN;
        columns[6 + K].values[i] = R > 0 ? m[R - 1] / m[R] : kNaN;
    }
    return columns;
}

}  // namespace tavrel
