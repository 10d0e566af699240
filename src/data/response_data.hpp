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

// The share of missing cells from which a batch run lists the present items.
// Measured in instructions, 10,000 x 50, K = 10, 5 passes: the list costs
// more below about 30 % missing (+26 % at 5 %, +9 % at 20 %, -2 % at 30 %)
// and saves 25 % at 50 %. Tests move it to force either representation; a
// run reads it once.
inline constexpr double kListPresentFromMissingShare = 0.35;
double listPresentFromMissingShare();
void setListPresentFromMissingShare(double share);

// Whether a view's mask has enough missing cells to list the present items.
bool worthListingPresent(const ResponseView& data);
// The present items of the view's responses and mask.
PresentItems listPresentItems(const ResponseView& data);

}  // namespace tavrel
