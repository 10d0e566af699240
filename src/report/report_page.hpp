#pragma once
// The report: one self-contained HTML page with the figures of a finished
// run, written after every other result file. It formats what it is given:
// every number on it comes from the same computations as the statistics
// files, and its bytes depend on these inputs alone.

#include <cstddef>
#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "analysis/rank_counts.hpp"
#include "analysis/run_statistics.hpp"
#include "output/statistics_writers.hpp"

namespace tavrel {

// One run parameter as the page's header lists it.
struct ParameterText {
    std::string key;    // canonical name
    std::string value;  // as the settings gave it, or the default's text
    bool byDefault;     // absent from the settings
    std::string note;   // a remark on what the value means, or empty
};

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
};

// The page.
std::string buildReportPage(const ReportInputs& in);

// Writes the page (FileFailure with the file name when it cannot) and prints
// its Note.
void writeReport(const std::string& fileName, const ReportInputs& in, std::ostream& console);

}  // namespace tavrel
