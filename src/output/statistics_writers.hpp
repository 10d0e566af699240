#pragma once
// The four statistics files: test, item, rank and examinee statistics. Each
// writer opens its file (FileFailure when it cannot), writes one header line
// and the rows, closes it and prints its Note. A value that does not exist is
// written NA, an infinite one Inf or -Inf.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/run_statistics.hpp"
#include "tavrel/responses.hpp"
#include "tavrel/tables.hpp"

namespace tavrel {

class Observer;
class Workers;

// The fit indices by the names of the item file's columns and the test
// file's rows, in their order.
inline constexpr std::array<std::pair<std::string_view, double FitIndices::*>, 16> kFitFields{{
    {"loglik_model", &FitIndices::loglikModel},
    {"loglik_benchmark", &FitIndices::loglikBenchmark},
    {"loglik_null", &FitIndices::loglikNull},
    {"chisq_model", &FitIndices::chisqModel},
    {"chisq_null", &FitIndices::chisqNull},
    {"df_model", &FitIndices::dfModel},
    {"df_null", &FitIndices::dfNull},
    {"NFI", &FitIndices::NFI},
    {"RFI", &FitIndices::RFI},
    {"IFI", &FitIndices::IFI},
    {"TLI", &FitIndices::TLI},
    {"CFI", &FitIndices::CFI},
    {"RMSEA", &FitIndices::RMSEA},
    {"AIC", &FitIndices::AIC},
    {"CAIC", &FitIndices::CAIC},
    {"BIC", &FitIndices::BIC},
}};

// The item file's columns after the item, before the fit indices.
inline constexpr std::array<std::string_view, 10> kItemFields{
    "respondents", "correct_rate", "threshold", "item_total_correlation", "alpha", "a", "beta", "b", "gamma", "c"};
// The rank file's columns after the rank.
inline constexpr std::array<std::string_view, 3> kRankFields{"test_reference_profile", "latent_rank_distribution",
                                                             "rank_membership_distribution"};
// The examinee file's columns after the id and before the memberships, and
// those after them.
inline constexpr std::array<std::string_view, 4> kExamineeScoreFields{"responses", "score", "passage_rate",
                                                                      "standardized_score"};
inline constexpr std::array<std::string_view, 3> kExamineeRankFields{"rank", "rank_up_odds", "rank_down_odds"};

// How the estimation ran.
struct EstimationSummary {
    char method;          // 'L', 'M', 'B' or 'G'
    std::int32_t passes;  // the passes run
    bool converged;       // the batch loop met its criterion (batch method only)
};

struct StatisticsFileInputs {
    const RunStatistics& statistics;
    std::span<const char> itemUse;        // J
    std::span<const std::string> itemNames;  // J, or empty: items are numbered
    std::span<const double> membership;   // N x K, the memberships the statistics used
    std::span<const std::int32_t> ranks;  // N, 0-based
    const ExamineeIds& ids;               // N when present
    EstimationSummary estimation;
    std::size_t nranks;
    char delimiter;
};

// The test file's rows, in order.
std::vector<TestEntry> testEntries(const RunStatistics& statistics, EstimationSummary estimation, std::size_t nranks);

// A standardized score, NaN where the examinee takes no part or the passage
// rates' deviation is 0 or does not exist.
double standardizedScore(const RunStatistics& statistics, std::size_t examinee);

void writeTestStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer);
void writeItemStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer);
void writeRankStatistics(const std::string& fileName, const StatisticsFileInputs& in, Observer& observer);
// Formats the examinees' rows on the workers; the bytes are those of one worker.
void writeExamineeStatistics(const std::string& fileName, const StatisticsFileInputs& in, Workers& workers,
                             Observer& observer);

}  // namespace tavrel
