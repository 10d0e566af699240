#pragma once
// The item use string.

#include <cstdint>
#include <iosfwd>
#include <span>
#include <string>

namespace tavrel {

// '0' or '.' at position j takes item j out of the analysis (ItemUse '0', its
// MissingMask column '0'); any other character, and every item past the end
// of the string, keeps it. Prints how many items are used.
void applyItemUse(const std::string& value, std::span<char> missingMask, std::span<char> itemUse,
                  std::int32_t nitems, std::int32_t nexaminees, std::ostream& console);

}  // namespace tavrel
