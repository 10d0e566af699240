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

inline constexpr std::array<SettingKey, 28> kSettingKeys{{
    {"infile", {"datafile", ""}, "readResponseData"},
    {"outfile", {"irpfile", ""}, "writeItemReferenceProfile"},
    {"rankfile", {"", ""}, "writeLatentRanks"},
    {"rmpfile", {"", ""}, "writeRankMembershipProfiles"},
    {"worpfile", {"", ""}, "writeWeightedObservationRatioProfile"},
    {"uorpfile", {"", ""}, "writeUnweightedObservationRatioProfile"},
    {"fixedfile", {"", ""}, "readFixedProfile"},
    {"dlm", {"", ""}, "interpretDelimiter"},
    {"idbegin", {"idstart", ""}, "readResponseData"},
    {"idlength", {"nidchar", ""}, "readResponseData"},
    {"databegin", {"datastart", ""}, "readResponseData"},
    {"nitems", {"nitem", "datalength"}, "readResponseData"},
    {"firstobs", {"", ""}, "readResponseData"},
    {"nobs", {"", ""}, "readResponseData"},
    {"nranks", {"nrank", ""}, "resolveRunParameters"},
    {"method", {"", ""}, "interpretMethod"},
    {"maxiter", {"iter", ""}, "resolveRunParameters"},
    {"increase", {"mic", ""}, "interpretBoolean"},
    {"seed", {"", ""}, "resolveRunParameters"},
    {"alpha1", {"", ""}, "resolveRunParameters"},
    {"sigma1", {"", ""}, "resolveRunParameters"},
    {"alphat", {"", ""}, "resolveRunParameters"},
    {"sigmat", {"", ""}, "resolveRunParameters"},
    {"diffcrit", {"", ""}, "resolveRunParameters"},
    {"prior", {"", ""}, "readPrior"},
    {"itemuse", {"", ""}, "applyItemUse"},
    {"phi", {"", ""}, "interpretFraction"},
    {"threads", {"", ""}, "resolveThreads"},
}};

// Names that were once accepted; they draw a warning of their own.
inline constexpr std::array<std::string_view, 2> kRetiredKeys{"sigma0", "crit"};

// The canonical name for an accepted key (canonical or alias), lower case.
std::optional<std::string_view> canonicalKey(std::string_view key);

bool isRetiredKey(std::string_view key);

}  // namespace tavrel
