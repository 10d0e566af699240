#pragma once
// The prior probability list.

#include <cstdint>
#include <span>
#include <string>

namespace tavrel {

class Observer;

// Reads K numbers or fractions n/d separated by commas and/or blanks into the
// PriorVector (used as read, never normalised). Too few or too many elements
// draw a warning; the Note lists the K elements.
void readPrior(const std::string& value, std::span<double> prior, std::int32_t nranks, Observer& observer);

}  // namespace tavrel
