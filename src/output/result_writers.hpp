#pragma once
// The five result files. Each writer opens its file (FileFailure when it
// cannot), writes it in one pass, closes it and prints its Note.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "common/examinee_ids.hpp"
#include "common/run_views.hpp"

namespace tavrel {

class Workers;

// What the writers read: the data, the finished estimate and every
// examinee's rank and memberships, computed once for all writers.
struct ResultInputs {
    ResponseView data;
    const ExamineeIds& ids;               // N when present
    std::span<const double> profile;      // J x K, j*K + k
    std::span<const char> itemUse;        // J
    std::span<const std::int32_t> ranks;  // N, 0-based, under the run's method
    std::span<const double> membership;   // N x K, under the run's method ('L': distances)
    std::size_t nranks;
    char delimiter;
};

void writeItemReferenceProfile(const std::string& fileName, const ResultInputs& in, std::ostream& console);
// The writers below take the workers to format rows or sum over examinees
// in parallel; the bytes are those of one worker.
void writeLatentRanks(const std::string& fileName, const ResultInputs& in, Workers& workers, std::ostream& console);
void writeRankMembershipProfiles(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                 std::ostream& console);
void writeWeightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in, Workers& workers,
                                          std::ostream& console);
// `answered`: J x K, item-major, the examinees of each estimated rank who
// answered each item (countResponsesByRank).
void writeUnweightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in,
                                            std::span<const std::int64_t> answered, std::ostream& console);

}  // namespace tavrel
