#pragma once
// The typed run parameters resolved from the SettingMap.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/types.hpp"
#include "estimation/sequential_learning.hpp"
#include "tavrel/options.hpp"
#include "tavrel/writers.hpp"

namespace tavrel {

class Observer;

struct RunParameters {
    std::int32_t nranks = 10;
    LearningSchedule schedule{100, 1.0, 0.1, 1.0, 0.12};
    std::int32_t seed = 0;
    std::int32_t restarts = 1;
    double diffcrit = 0.0001;
    Method method = Method::Likelihood;
    bool increase = false;
    char delimiter = ',';
};

// Resolves the parameters in their fixed order and tells the note on the
// number of latent ranks right after nranks. Fewer than one rank ends the run
// (FatalSetting): no operation can work without a rank.
RunParameters resolveRunParameters(const SettingMap& settings, Observer& observer);

// The run parameters as the report lists them: every key the settings hold,
// in the order of the key table, with its value as given; then each run
// parameter they do not hold, with its default (phi, the batch method's
// smoothing weight, only for that method, as the run computed it). A
// sequential run shows the seed it used.
std::vector<ParameterText> reportParameters(const SettingMap& settings, const RunParameters& params, double phi,
                                            std::int32_t seedUsed);

// The number of worker threads: the `threads` setting when present, otherwise
// `environment` (the value of TAVREL_THREADS, null when unset), converted as
// the integer settings are. Neither, 0, negative or not a number:
// `processors`; above kMostWorkers: kMostWorkers. Prints nothing.
std::size_t resolveThreads(const SettingMap& settings, const char* environment, std::size_t processors);

}  // namespace tavrel
