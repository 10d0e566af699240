#pragma once
// The four statistics files: test, item, rank and examinee statistics. Each
// writer opens its file (FileFailure when it cannot), writes one header line
// and the rows, closes it and prints its Note. A value that does not exist is
// written NA, an infinite one Inf or -Inf.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "analysis/run_statistics.hpp"
#include "common/examinee_ids.hpp"

namespace tavrel {

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

void writeTestStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
void writeItemStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
void writeRankStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
// Formats the examinees' rows on the workers; the bytes are those of one worker.
void writeExamineeStatistics(const std::string& fileName, const StatisticsFileInputs& in, Workers& workers,
                             std::ostream& console);

}  // namespace tavrel
