#pragma once
// The output stage of a run: every result file the settings name, written in
// their fixed order from the finished estimate.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

#include "common/examinee_ids.hpp"
#include "common/run_views.hpp"
#include "driver/run_parameters.hpp"
#include "driver/run_plan.hpp"
#include "output/statistics_writers.hpp"

namespace tavrel {

class Workers;

// A finished estimate with everything the result files are written from.
struct FinishedRun {
    ResponseView data;
    const ExamineeIds& ids;
    std::span<const std::string> itemNames;  // empty: items are numbered
    Model model;
    std::span<const char> itemUse;
    std::span<const double> filter;  // the batch method's smoothing filter, empty for the others
    std::span<const double> trace;   // the batch method's traced value of every pass
    EstimationSummary estimation;
    char delimiter;
    std::string_view dataFile;                  // the infile value; empty without one
    std::span<const ParameterText> parameters;  // the report's run parameters
};

// The result files the plan names, in their fixed order. Every examinee's
// rank and memberships are computed once, after the item reference profile,
// for all the writers that need them; the statistics once for their four
// files and the report. The work is split over the workers; the bytes are
// those of one worker.
void writeResults(const RunPlan& plan, const FinishedRun& run, Workers& workers, std::ostream& console);

}  // namespace tavrel
