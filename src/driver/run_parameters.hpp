#pragma once
// The typed run parameters resolved from the SettingMap.

#include <cstddef>
#include <cstdint>
#include <iosfwd>

#include "common/types.hpp"
#include "estimation/sequential_learning.hpp"

namespace tavrel {

struct RunParameters {
    std::int32_t nranks = 10;
    LearningSchedule schedule{100, 1.0, 0.1, 1.0, 0.12};
    std::int32_t seed = 0;
    double diffcrit = 0.0001;
    char method = 'M';
    bool increase = false;
    char delimiter = ',';
};

// Resolves the parameters in their fixed order and prints the note on the
// number of latent ranks right after nranks. Fewer than one rank ends the run
// (FatalSetting): no operation can work without a rank.
RunParameters resolveRunParameters(const SettingMap& settings, std::ostream& console);

// The number of worker threads: the `threads` setting when present, otherwise
// `environment` (the value of TAVREL_THREADS, null when unset), converted as
// the integer settings are. Neither, 0, negative or not a number:
// `processors`; above 256: 256. Prints nothing.
std::size_t resolveThreads(const SettingMap& settings, const char* environment, std::size_t processors);

}  // namespace tavrel
