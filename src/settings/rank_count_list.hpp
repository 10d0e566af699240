#pragma once
// The rank counts of a sweep: single values and ranges a-b, separated by
// commas or blanks.

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {

class Observer;

// The counts named, ascending, each once, at most the first 100. A token that
// is no positive count or range a-b (a <= b; blanks around the '-' allowed)
// draws a warning and is ignored, and so do counts past the hundredth.
std::vector<std::int32_t> rankCountList(const std::string& value, Observer& observer);

}  // namespace tavrel
