#pragma once
// The steps of a run that a setting switches on by its presence, each with
// the text it hands on, read from the SettingMap once before the run starts.
// Reading them prints nothing: the messages belong to the steps themselves.

#include <optional>
#include <string>

#include "common/types.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {

struct RunPlan {
    std::optional<std::string> fixedFile;  // read a fixed profile; orient the profile afterwards
    std::optional<std::string> prior;      // the prior list
    std::optional<std::string> itemUse;    // the item use string
    std::optional<std::string> phi;        // batch smoothing weight; absent: the default for K

    ResultFileNames files;              // the result files, written in their order
    std::optional<std::string> report;  // reportfile, written last

    std::optional<std::string> rankSweep;  // the rank counts of a sweep
    std::optional<std::string> sweepFile;  // sweepfile, written after the sweep
};

RunPlan planRun(const SettingMap& settings);

}  // namespace tavrel
