#pragma once
// The result files and the report, written from a finished analysis.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tavrel/analysis.hpp"

namespace tavrel {

class Observer;

// The files to write, by their keys; an absent name is not written. They are
// written in this order.
struct ResultFileNames {
    std::optional<std::string> outfile;       // item reference profile
    std::optional<std::string> rankfile;      // latent ranks
    std::optional<std::string> rmpfile;       // rank membership profiles (distances under Distance)
    std::optional<std::string> worpfile;      // weighted observation ratio profile
    std::optional<std::string> uorpfile;      // unweighted observation ratio profile
    std::optional<std::string> testfile;      // test statistics
    std::optional<std::string> itemfile;      // item statistics
    std::optional<std::string> trpfile;       // rank statistics
    std::optional<std::string> examineefile;  // examinee statistics
};

// What analyze() must compute for these files (and the report, when
// `report`) under `method`: exactly what they need.
Requests requestsFor(const ResultFileNames& files, bool report, Method method);

// The examinee ids and item names the files show, lent for the call.
struct Labels {
    const ExamineeIds& ids;                  // N when present
    std::span<const std::string> itemNames;  // J, or empty: items are numbered
};

// Writes the named files in their order, each complete before its Note; a
// file that cannot be written ends the call with FileFailure, the files
// before it complete. Each file replaces its target only once it is complete;
// the observer is asked before each file whether to stop (Cancelled). Rows are formatted on `threads` workers (0: every
// processor); the bytes are the same for any number.
void writeResultFiles(const ResultFileNames& files, const Result& result, const Labels& labels, char delimiter,
                      std::size_t threads, Observer& observer);

// The sweep file: one row per rank count, in the delimiter and number format
// of the statistics files; FileFailure when it cannot be written.
void writeSweepFile(const std::string& fileName, std::span<const SweepRow> rows, char delimiter, Observer& observer);

// One run parameter as the report's header lists it.
struct ParameterText {
    std::string key;    // canonical name
    std::string value;  // as given, or the default's text
    bool byDefault;     // not given
    std::string note;   // a remark on what the value means, or empty
};

// The options of an analysis as the report lists them when they come from a
// client rather than a setting file: under their setting keys, in the order
// of the key table, each with its value and whether it is the default (phi:
// the value the batch method used).
std::vector<ParameterText> describeOptions(const Options& options, const Result& result);

// What the report says of the run besides the result.
struct ReportContext {
    std::string_view dataFile;                  // shown as the data file; empty: none
    std::span<const ParameterText> parameters;  // in the order the header lists them
    std::span<const SweepRow> sweep = {};       // a rank sweep to show; empty: none
};

// The report page (needs a result with statistics and counts), written to
// `fileName`; FileFailure when it cannot be.
void writeReport(const std::string& fileName, const Result& result, const Labels& labels,
                 const ReportContext& context, Observer& observer);

}  // namespace tavrel
