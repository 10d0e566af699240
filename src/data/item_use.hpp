#pragma once
// The item use string.

#include <cstdint>
#include <string>
#include <vector>

namespace tavrel {

class Observer;

// One flag per item: '0' where the string holds '0' or '.' (the item is left
// out), '1' for any other character and for every item past the end of the
// string. Tells how many items are used.
std::vector<char> itemUseFlags(const std::string& value, std::int32_t nitems, Observer& observer);

}  // namespace tavrel
