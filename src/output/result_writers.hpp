#pragma once
// The five result files. Each writer opens its file (FileFailure when it
// cannot), writes it in one pass, closes it and prints its Note.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

#include "common/examinee_ids.hpp"

namespace tavrel {

// What the writers read: the data, the finished estimate and how to score it.
struct ResultInputs {
    std::span<const char> responses;    // N x J, i*J + j
    const ExamineeIds& ids;             // N when present
    std::span<const char> missingMask;  // N x J
    std::span<const double> profile;    // J x K, j*K + k
    std::span<const double> prior;      // K
    std::span<const char> itemUse;      // J
    std::int32_t nranks;
    std::int32_t nitems;
    std::int32_t nexaminees;
    char method;
    char delimiter;
};

void writeItemReferenceProfile(const std::string& fileName, const ResultInputs& in, std::ostream& console);
void writeLatentRanks(const std::string& fileName, const ResultInputs& in, std::ostream& console);
void writeRankMembershipProfiles(const std::string& fileName, const ResultInputs& in, std::ostream& console);
void writeWeightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in,
                                          std::ostream& console);
void writeUnweightedObservationRatioProfile(const std::string& fileName, const ResultInputs& in,
                                            std::ostream& console);

}  // namespace tavrel
