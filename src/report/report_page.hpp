#pragma once
// The report: one self-contained HTML page with the figures of a finished
// run, written after every other result file. It formats what it is given:
// every number on it comes from the same computations as the statistics
// files, and its bytes depend on these inputs alone.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "analysis/rank_counts.hpp"
#include "analysis/run_statistics.hpp"
#include "output/statistics_writers.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {

class Observer;

struct ReportInputs {
    const RunStatistics& statistics;
    const RankCounts& counts;
    std::span<const double> profile;            // J x K, the finished estimate
    std::span<const char> itemUse;              // J
    std::span<const std::string> itemNames;     // J names; empty: items go by number
    std::span<const double> trace;              // the batch method's traced value of every pass
    std::span<const ParameterText> parameters;  // in the order the header lists them
    std::string_view dataFile;                  // as the settings gave it; empty: none
    std::size_t nexaminees;                     // N, as read
    std::size_t nranks;                         // K
    EstimationSummary estimation;
    std::span<const RestartSummary> restarts = {};  // every restart, when there were several
    std::span<const SweepRow> sweep = {};           // a rank sweep; empty: none
};

// The page.
std::string buildReportPage(const ReportInputs& in);

// Writes the page (FileFailure with the file name when it cannot) and tells
// its Note.
void writeReportPage(const std::string& fileName, const ReportInputs& in, Observer& observer);

}  // namespace tavrel
