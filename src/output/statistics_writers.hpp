#pragma once
// The four statistics files: test, item, rank and examinee statistics. Each
// writer opens its file (FileFailure when it cannot), writes one header line
// and the rows, closes it and prints its Note. A value that does not exist is
// written NA, an infinite one Inf or -Inf.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "analysis/run_statistics.hpp"

namespace tavrel {

// How the estimation ran.
struct EstimationSummary {
    char method;          // 'L', 'M', 'B' or 'G'
    std::int32_t passes;  // the passes run
    bool converged;       // the batch loop met its criterion (batch method only)
};

struct StatisticsFileInputs {
    const RunStatistics& statistics;
    std::span<const char> itemUse;        // J
    std::span<const double> membership;   // N x K, the memberships the statistics used
    std::span<const std::int32_t> ranks;  // N, 0-based
    std::span<const char> examineeIds;    // N x idlength
    std::int32_t idlength;
    EstimationSummary estimation;
    std::size_t nranks;
    char delimiter;
};

void writeTestStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
void writeItemStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
void writeRankStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);
void writeExamineeStatistics(const std::string& fileName, const StatisticsFileInputs& in, std::ostream& console);

}  // namespace tavrel
