#pragma once
// The fixed profile file: profile cells pinned to known values.

#include <cstdint>
#include <span>
#include <string>

namespace tavrel {

class Observer;

// Reads the delimited file (header "item", rank numbers; then item number and
// one value or "*" per rank column) and fixes the named cells: FixedMask '0',
// RankProfile the value as read. Out-of-range rank and item numbers draw a
// warning. Raises FileFailure when the file cannot be opened.
void readFixedProfile(const std::string& fileName, std::span<char> fixedMask, std::span<double> profile,
                      std::int32_t nranks, std::int32_t nitems, char delimiter, Observer& observer);

}  // namespace tavrel
