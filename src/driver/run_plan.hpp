#pragma once
// The steps of a run that a setting switches on by its presence, each with
// the text it hands on, read from the SettingMap once before the run starts.
// Reading them prints nothing: the messages belong to the steps themselves.

#include <optional>
#include <string>

#include "common/types.hpp"

namespace tavrel {

struct RunPlan {
    std::optional<std::string> fixedFile;  // read a fixed profile; orient the profile afterwards
    std::optional<std::string> prior;      // the prior list
    std::optional<std::string> itemUse;    // the item use string
    std::optional<std::string> phi;        // batch smoothing weight; absent: the default for K

    // Result file names, in the order the files are written.
    std::optional<std::string> itemReferenceProfile;  // outfile
    std::optional<std::string> latentRanks;           // rankfile
    std::optional<std::string> rankMemberships;       // rmpfile
    std::optional<std::string> weightedRatios;        // worpfile
    std::optional<std::string> unweightedRatios;      // uorpfile
    std::optional<std::string> testStatistics;        // testfile
    std::optional<std::string> itemStatistics;        // itemfile
    std::optional<std::string> rankStatistics;        // trpfile
    std::optional<std::string> examineeStatistics;    // examineefile
    std::optional<std::string> report;                // reportfile

    // The report draws from the statistics too.
    bool wantsStatistics() const {
        return testStatistics || itemStatistics || rankStatistics || examineeStatistics || report;
    }
    bool wantsRanks() const { return latentRanks || unweightedRatios || wantsStatistics(); }
};

RunPlan planRun(const SettingMap& settings);

}  // namespace tavrel
