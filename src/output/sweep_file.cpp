// The sweep file: the test file's values of every rank count of a sweep.

#include <array>
#include <string_view>

#include "common/messages.hpp"
#include "output/result_file.hpp"
#include "output/statistics_writers.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {

void writeSweepFile(const std::string& fileName, std::span<const SweepRow> rows, char delimiter, Observer& observer) {
    ResultFile out(fileName, delimiter);
    constexpr std::array<std::string_view, 6> kFirst{"ranks", "method", "seed", "passes", "converged",
                                                     "loglik_marginal"};
    constexpr std::array<std::string_view, 4> kLast{"weakly_ordinal", "strongly_ordinal", "smallest_rank_share",
                                                    "rank_score_correlation"};
    const auto names = [&](const auto& list, bool first) {
        for (const std::string_view name : list) {
            if (!first) out.delimiter();
            out.text(name);
            first = false;
        }
    };
    names(kFirst, true);
    for (const auto& field : kFitFields) out.delimiter(), out.text(field.first);
    names(kLast, false);
    out.endLine();
    const auto yesNo = [](bool v) { return v ? "yes" : "no"; };
    for (const SweepRow& row : rows) {
        const bool batch = row.method == Method::Batch;
        out.integer(row.nranks);
        out.delimiter(), out.text(methodWord(row.method));
        out.delimiter(), batch ? out.text("NA") : out.integer(row.seed);
        out.delimiter(), out.integer(row.passes);
        out.delimiter(), out.text(batch ? yesNo(row.converged) : "NA");
        out.delimiter(), out.statistic(row.loglikMarginal);
        for (const auto& field : kFitFields) out.delimiter(), out.statistic(row.fit.*field.second);
        out.delimiter(), out.text(yesNo(row.weaklyOrdinal));
        out.delimiter(), out.text(yesNo(row.stronglyOrdinal));
        out.delimiter(), out.statistic(row.smallestRankShare);
        out.delimiter(), out.statistic(row.rankScoreCorrelation);
        out.endLine();
    }
    out.close();
    note(observer, "Rank sweep is written to \"", fileName, "\".");
}

}  // namespace tavrel
