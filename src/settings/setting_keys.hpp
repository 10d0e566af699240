#pragma once
// The one table of setting keys: canonical name, aliases and what reads it.
// The scanner accepts exactly these names, the run parameters and readers look
// keys up under the canonical names, and the README's key reference is checked
// against this table by the tests.

#include <array>
#include <optional>
#include <string_view>

namespace tavrel {

struct SettingKey {
    std::string_view name;                    // canonical, lower case
    std::array<std::string_view, 2> aliases;  // empty entries unused
    std::string_view readBy;                  // the operation that reads the value
};

inline constexpr std::array<SettingKey, 40> kSettingKeys{{
    {"infile", {"datafile", ""}, "resolveDataLayout"},
    {"outfile", {"irpfile", ""}, "writeItemReferenceProfile"},
    {"rankfile", {"", ""}, "writeLatentRanks"},
    {"rmpfile", {"", ""}, "writeRankMembershipProfiles"},
    {"worpfile", {"", ""}, "writeWeightedObservationRatioProfile"},
    {"uorpfile", {"", ""}, "writeUnweightedObservationRatioProfile"},
    {"testfile", {"", ""}, "writeTestStatistics"},
    {"itemfile", {"", ""}, "writeItemStatistics"},
    {"trpfile", {"", ""}, "writeRankStatistics"},
    {"examineefile", {"", ""}, "writeExamineeStatistics"},
    {"reportfile", {"", ""}, "writeReport"},
    {"sweepfile", {"", ""}, "writeSweepFile"},
    {"fixedfile", {"", ""}, "readFixedProfile"},
    {"dlm", {"", ""}, "interpretDelimiter"},
    {"idbegin", {"idstart", ""}, "resolveDataLayout"},
    {"idlength", {"nidchar", ""}, "resolveDataLayout"},
    {"databegin", {"datastart", ""}, "resolveDataLayout"},
    {"nitems", {"nitem", "datalength"}, "resolveDataLayout"},
    {"firstobs", {"", ""}, "resolveDataLayout"},
    {"nobs", {"", ""}, "resolveDataLayout"},
    {"dataformat", {"", ""}, "resolveDataLayout"},
    {"header", {"", ""}, "resolveDataLayout"},
    {"na", {"", ""}, "resolveDataLayout"},
    {"encoding", {"", ""}, "resolveDataLayout"},
    {"nranks", {"nrank", ""}, "resolveRunParameters"},
    {"method", {"", ""}, "methodFromWord"},
    {"maxiter", {"iter", ""}, "resolveRunParameters"},
    {"increase", {"mic", ""}, "interpretBoolean"},
    {"seed", {"", ""}, "resolveRunParameters"},
    {"restarts", {"", ""}, "resolveRunParameters"},
    {"ranksweep", {"", ""}, "rankCountList"},
    {"alpha1", {"", ""}, "resolveRunParameters"},
    {"sigma1", {"", ""}, "resolveRunParameters"},
    {"alphat", {"", ""}, "resolveRunParameters"},
    {"sigmat", {"", ""}, "resolveRunParameters"},
    {"diffcrit", {"", ""}, "resolveRunParameters"},
    {"prior", {"", ""}, "readPrior"},
    {"itemuse", {"", ""}, "itemUseFlags"},
    {"phi", {"", ""}, "interpretFraction"},
    {"threads", {"", ""}, "resolveThreads"},
}};

// Names that were once accepted; they draw a warning of their own.
inline constexpr std::array<std::string_view, 2> kRetiredKeys{"sigma0", "crit"};

// The canonical name for an accepted key (canonical or alias), lower case.
std::optional<std::string_view> canonicalKey(std::string_view key);

bool isRetiredKey(std::string_view key);

}  // namespace tavrel
