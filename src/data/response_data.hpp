#pragma once
// The response data file, in fixed columns or as delimited records
// (readResponses in the public interface), and the mask of present answers.

#include <cstdint>
#include <span>

#include "tavrel/responses.hpp"

namespace tavrel {

// Lines or records the readers read between two questions whether to stop:
// a few milliseconds of reading.
inline constexpr std::int64_t kLinesBetweenStops = 16384;

// MissingMask: '1' where the response is '0' or '1', '0' elsewhere.
void buildMissingMask(std::span<const char> responses, std::span<char> missingMask);

}  // namespace tavrel
