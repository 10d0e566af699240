#pragma once
// Shape indices of one item's reference profile over the ranks.

#include <cstddef>
#include <optional>
#include <span>

namespace tavrel {

// Ranks are numbered from 1. With d(k) = p(k+1) - p(k):
struct IrpIndices {
    std::optional<std::size_t> alpha;  // the rank of the largest d (lowest on ties); none for K = 1
    double a;                          // that d; NaN for K = 1
    std::size_t beta;                  // the rank whose value is nearest 0.5 (lowest on ties)
    double b;                          // its value
    double gamma;                      // the share of the K - 1 steps that fall; NaN for K = 1
    double c;                          // the sum of the falling steps (0 when none falls)
};

// From the K values of one item, rank 1 first (K >= 1).
IrpIndices irpIndices(std::span<const double> itemProfile);

}  // namespace tavrel
