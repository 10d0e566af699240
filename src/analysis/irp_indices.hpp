#pragma once
// Shape indices of one item's reference profile over the ranks.

#include <cstddef>
#include <optional>
#include <span>

#include "tavrel/statistics.hpp"

namespace tavrel {

// From the K values of one item, rank 1 first (K >= 1).
IrpIndices irpIndices(std::span<const double> itemProfile);

}  // namespace tavrel
