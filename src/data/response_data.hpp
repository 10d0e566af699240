#pragma once
// The response data file, in fixed columns or as delimited records
// (readResponses in the public interface), the mask of present answers and
// the list of present items.

#include <cstdint>
#include <span>

#include "common/run_views.hpp"
#include "tavrel/responses.hpp"

namespace tavrel {

// Lines or records the readers read between two questions whether to stop:
// a few milliseconds of reading.
inline constexpr std::int64_t kLinesBetweenStops = 16384;

// MissingMask: '1' where the response is '0' or '1', '0' elsewhere.
void buildMissingMask(std::span<const char> responses, std::span<char> missingMask);

// Whether a view's mask has at least `share` of its cells missing, from
// which the present items are worth listing.
bool worthListingPresent(const ResponseView& data, double share);
// The present items of the view's responses and mask.
PresentItems listPresentItems(const ResponseView& data);

}  // namespace tavrel
