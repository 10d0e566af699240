#include "output/statistics_writers.hpp"

#include <array>
#include <cmath>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "common/messages.hpp"
#include "common/types.hpp"
#include "output/result_file.hpp"

namespace tavrel {
namespace {

std::string_view yesNo(bool value) { return value ? "yes" : "no"; }

// Writes the start of a header line: the first field, then the names.
template <class Names>
void header(ResultFile& out, std::string_view first, const Names& names) {
    out.text(first);
    for (const std::string_view name : names) out.delimiter(), out.text(name);
}

template <class Out>
void identifier(Out& out, const StatisticsFileInputs& in, std::size_t i) {
    if (!in.ids.present()) return;
    out.field(in.ids[i]);
    out.delimiter();
}

}  // namespace

std::vector<TestEntry> testEntries(const RunStatistics& s, EstimationSummary estimation, std::size_t nranks) {
    const ScoreStatistics& score = s.scoreStatistics;
    const auto count = [](auto v) { return TestValue(static_cast<std::int64_t>(v)); };
    // The extremes of the scores are whole numbers, or NA without scores.
    const auto whole = [](double v) { return std::isnan(v) ? TestValue() : TestValue(static_cast<std::int64_t>(v)); };
    std::vector<TestEntry> rows{
        {"items", count(s.itemsInUse)},
        {"examinees", count(s.scores.scored)},
        {"ranks", count(nranks)},
        {"method", std::string(methodWord(static_cast<Method>(estimation.method)))},
        {"passes", count(estimation.passes)},
        {"converged", estimation.method == 'G' ? TestValue(estimation.converged) : TestValue()},
        {"mean", score.mean},
        {"se_mean", score.seMean},
        {"sd", score.sd},
        {"skewness", score.skewness},
        {"kurtosis", score.kurtosis},
        {"min", whole(score.min)},
        {"max", whole(score.max)},
    };
    for (const auto& [name, field] : kFitFields) rows.push_back({std::string(name), s.testFit.*field});
    rows.push_back({"strongly_ordinal", s.stronglyOrdinal});
    rows.push_back({"weakly_ordinal", s.weaklyOrdinal});
    return rows;
}

double standardizedScore(const RunStatistics& statistics, std::size_t i) {
    const ExamineeScores& scores = statistics.scores;
    const ScoreStatistics& st = statistics.scoreStatistics;
    // Dividing by the passage rates' deviation: where that is 0 or does not
    // exist, no examinee has one.
    if (!scores.takesPart(i) || !(st.rateSd > 0.0)) return kNaN;
    return (scores.passageRate(i) - st.rateMean) / st.rateSd;
}

void writeTestStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer) {
    ResultFile out(fileName, in.delimiter);
    out.text("statistic");
    out.delimiter();
    out.text("value");
    out.endLine();
    for (const TestEntry& entry : testEntries(in.statistics, in.estimation, in.nranks)) {
        out.text(entry.name);
        out.delimiter();
        std::visit(
            [&](const auto& v) {
                using V = std::decay_t<decltype(v)>;
                if constexpr (std::is_same_v<V, std::monostate>)
                    out.text("NA");
                else if constexpr (std::is_same_v<V, std::int64_t>)
                    out.integer(v);
                else if constexpr (std::is_same_v<V, double>)
                    out.statistic(v);
                else if constexpr (std::is_same_v<V, std::string>)
                    out.text(v);
                else
                    out.text(yesNo(v));
            },
            entry.value);
        out.endLine();
    }
    out.close();
    note(observer, "Test statistics are written to \"", fileName, "\".");
}

void writeItemStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer) {
    ResultFile out(fileName, in.delimiter);
    const RunStatistics& s = in.statistics;
    header(out, "item", kItemFields);
    for (const auto& field : kFitFields) out.delimiter(), out.text(field.first);
    out.endLine();
    const auto next = [&](double v) { out.delimiter(), out.statistic(v); };
    for (std::size_t j = 0; j < in.itemUse.size(); ++j) {
        if (in.itemNames.empty())
            out.integer(static_cast<std::int64_t>(j) + 1);
        else
            out.field(in.itemNames[j]);
        if (in.itemUse[j] != '1') {
            for (std::size_t f = 0; f < kItemFields.size() + kFitFields.size(); ++f) out.delimiter(), out.text("NA");
            out.endLine();
            continue;
        }
        const ItemStatistics& item = s.items[j];
        const IrpIndices& irp = s.irp[j];
        out.delimiter();
        out.integer(item.respondents);
        next(item.correctRate);
        next(item.threshold);
        next(item.itemTotalCorrelation);
        out.delimiter();
        irp.alpha ? out.integer(static_cast<std::int64_t>(*irp.alpha)) : out.text("NA");
        next(irp.a);
        out.delimiter();
        out.integer(static_cast<std::int64_t>(irp.beta));
        next(irp.b);
        next(irp.gamma);
        next(irp.c);
        for (const auto& field : kFitFields) next(s.itemFit[j].*field.second);
        out.endLine();
    }
    out.close();
    note(observer, "Item statistics are written to \"", fileName, "\".");
}

void writeRankStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer) {
    ResultFile out(fileName, in.delimiter);
    const RankStatistics& r = in.statistics.ranks;
    header(out, "rank", kRankFields);
    out.endLine();
    for (std::size_t k = 0; k < in.nranks; ++k) {
        out.integer(static_cast<std::int64_t>(k) + 1);
        out.delimiter();
        out.statistic(r.testReferenceProfile[k]);
        out.delimiter();
        out.integer(r.latentRankDistribution[k]);
        out.delimiter();
        out.statistic(r.rankMembershipDistribution[k]);
        out.endLine();
    }
    out.close();
    note(observer, "Rank statistics are written to \"", fileName, "\".");
}

void writeExamineeStatistics(const std::string& fileName, const StatisticsFileInputs& in, Workers& workers,
                             Observer& observer) {
    ResultFile out(fileName, in.delimiter);
    const ExamineeScores& scores = in.statistics.scores;
    const std::size_t K = in.nranks;
    if (in.ids.present()) out.text("id"), out.delimiter();
    out.text(kExamineeScoreFields[0]);
    for (std::size_t f = 1; f < kExamineeScoreFields.size(); ++f) out.delimiter(), out.text(kExamineeScoreFields[f]);
    for (std::size_t k = 1; k <= K; ++k) out.delimiter(), out.text("membership_"), out.integer(std::int64_t(k));
    for (std::string_view name : kExamineeRankFields) out.delimiter(), out.text(name);
    out.endLine();

    writeRows(out, scores.responses.size(), workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        row.integer(scores.responses[i]);
        row.delimiter();
        row.integer(scores.score[i]);
        row.delimiter();
        row.statistic(scores.takesPart(i) ? scores.passageRate(i) : kNaN);
        row.delimiter();
        row.statistic(standardizedScore(in.statistics, i));
        const double* m = in.membership.data() + i * K;
        for (std::size_t k = 0; k < K; ++k) row.delimiter(), row.statistic(m[k]);
        const auto R = static_cast<std::size_t>(in.ranks[i]);
        row.delimiter();
        row.integer(static_cast<std::int64_t>(R) + 1);
        row.delimiter();
        row.statistic(R + 1 < K ? m[R + 1] / m[R] : kNaN);
        row.delimiter();
        row.statistic(R > 0 ? m[R - 1] / m[R] : kNaN);
        row.endLine();
    });
    out.close();
    note(observer, "Examinee statistics are written to \"", fileName, "\".");
}

}  // namespace tavrel
