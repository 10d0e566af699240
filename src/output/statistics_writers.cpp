#include "output/statistics_writers.hpp"

#include <array>
#include <cmath>
#include <ostream>
#include <string_view>
#include <utility>

#include "common/console.hpp"
#include "common/types.hpp"
#include "output/result_file.hpp"
#include "settings/value_interpreters.hpp"

namespace tavrel {
namespace {

constexpr std::array<std::string_view, 10> kItemFields{
    "respondents", "correct_rate", "threshold", "item_total_correlation", "alpha", "a", "beta", "b", "gamma", "c"};

std::string_view yesNo(bool value) { return value ? "yes" : "no"; }

// Writes the start of a header line: the first field, then the names.
template <class Names>
void header(ResultFile& out, std::string_view first, const Names& names) {
    out.text(first);
    for (const std::string_view name : names) out.delimiter(), out.text(name);
}

// One row "name D value" of the test file; the value is written by f.
template <class F>
void row(ResultFile& out, std::string_view name, F&& value) {
    out.text(name);
    out.delimiter();
    value();
    out.endLine();
}

template <class Out>
void identifier(Out& out, const StatisticsFileInputs& in, std::size_t i) {
    if (!in.ids.present()) return;
    out.field(in.ids[i]);
    out.delimiter();
}

}  // namespace

void writeTestStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const RunStatistics& s = in.statistics;
    const ScoreStatistics& score = s.scoreStatistics;
    const bool batch = in.estimation.method == 'G';
    const auto number = [&](double v) { return [&out, v] { out.statistic(v); }; };
    const auto count = [&](std::int64_t v) { return [&out, v] { out.integer(v); }; };
    const auto word = [&](std::string_view v) { return [&out, v] { out.text(v); }; };
    const auto whole = [&](double v) {
        return [&out, v] { std::isnan(v) ? out.text("NA") : out.integer(static_cast<std::int64_t>(v)); };
    };

    out.text("statistic");
    out.delimiter();
    out.text("value");
    out.endLine();
    row(out, "items", count(static_cast<std::int64_t>(s.itemsInUse)));
    row(out, "examinees", count(static_cast<std::int64_t>(s.scores.scored)));
    row(out, "ranks", count(static_cast<std::int64_t>(in.nranks)));
    row(out, "method", word(methodWord(in.estimation.method)));
    row(out, "passes", count(in.estimation.passes));
    row(out, "converged", word(batch ? yesNo(in.estimation.converged) : "NA"));
    row(out, "mean", number(score.mean));
    row(out, "se_mean", number(score.seMean));
    row(out, "sd", number(score.sd));
    row(out, "skewness", number(score.skewness));
    row(out, "kurtosis", number(score.kurtosis));
    row(out, "min", whole(score.min));
    row(out, "max", whole(score.max));
    for (const auto& [name, field] : kFitFields) row(out, name, number(s.testFit.*field));
    row(out, "strongly_ordinal", word(yesNo(s.stronglyOrdinal)));
    row(out, "weakly_ordinal", word(yesNo(s.weaklyOrdinal)));
    out.close();
    console << kNote << "Test statistics are written to \"" << fileName << "\".\n";
}

void writeItemStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console) {
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
    console << kNote << "Item statistics are written to \"" << fileName << "\".\n";
}

void writeRankStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const RankStatistics& r = in.statistics.ranks;
    constexpr std::array<std::string_view, 3> names{"test_reference_profile", "latent_rank_distribution",
                                                    "rank_membership_distribution"};
    header(out, "rank", names);
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
    console << kNote << "Rank statistics are written to \"" << fileName << "\".\n";
}

void writeExamineeStatistics(const std::string& fileName, const StatisticsFileInputs& in, Workers& workers,
                             std::ostream& console) {
    ResultFile out(fileName, in.delimiter);
    const ExamineeScores& scores = in.statistics.scores;
    const ScoreStatistics& st = in.statistics.scoreStatistics;
    const std::size_t K = in.nranks;
    if (in.ids.present()) out.text("id"), out.delimiter();
    out.text("responses");
    for (std::string_view name : {"score", "passage_rate", "standardized_score"}) out.delimiter(), out.text(name);
    for (std::size_t k = 1; k <= K; ++k) out.delimiter(), out.text("membership_"), out.integer(std::int64_t(k));
    for (std::string_view name : {"rank", "rank_up_odds", "rank_down_odds"}) out.delimiter(), out.text(name);
    out.endLine();

    // A standardized score divides by the passage rates' deviation; where
    // that is 0 or does not exist, no examinee has one.
    const bool standardize = st.rateSd > 0.0;
    writeRows(out, scores.responses.size(), workers, [&](auto& row, std::size_t i) {
        identifier(row, in, i);
        row.integer(scores.responses[i]);
        row.delimiter();
        row.integer(scores.score[i]);
        const bool takesPart = scores.takesPart(i);
        const double q = takesPart ? scores.passageRate(i) : kNaN;
        row.delimiter();
        row.statistic(q);
        row.delimiter();
        row.statistic(takesPart && standardize ? (q - st.rateMean) / st.rateSd : kNaN);
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
    console << kNote << "Examinee statistics are written to \"" << fileName << "\".\n";
}

}  // namespace tavrel
