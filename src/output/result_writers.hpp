#pragma once
// The five result files. Each writer opens its file (FileFailure when it
// cannot), writes it in one pass, closes it and tells its Note.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "tavrel/responses.hpp"

namespace tavrel {

class Observer;
class Workers;

// J x K, item-major: the profile (items out of use written "*") and the
// two observation ratio profiles.
void writeItemReferenceProfile(const std::string& fileName, std::span<const double> profile,
                               std::span<const char> itemUse, std::size_t nranks, char delimiter,
                               Observer& observer);
void writeWeightedObservationRatioProfile(const std::string& fileName, std::span<const double> ratios,
                                          std::size_t nranks, char delimiter, Observer& observer);
void writeUnweightedObservationRatioProfile(const std::string& fileName, std::span<const double> ratios,
                                            std::size_t nranks, char delimiter, Observer& observer);

// One row per examinee, with its id when the data carry ids; the rows are
// formatted on the workers, and the bytes are those of one worker.
// `ranks` are 0-based; `rows` N x K (memberships, or distances).
void writeLatentRanks(const std::string& fileName, const ExamineeIds& ids, std::span<const std::int32_t> ranks,
                      char delimiter, Workers& workers, Observer& observer);
void writeRankMembershipProfiles(const std::string& fileName, const ExamineeIds& ids, std::span<const double> rows,
                                 std::size_t nranks, char delimiter, Workers& workers, Observer& observer);

}  // namespace tavrel
