#include "analysis/irp_indices.hpp"

#include <cmath>

#include "common/types.hpp"

namespace tavrel {

IrpIndices irpIndices(std::span<const double> p) {
    const std::size_t K = p.size();
    IrpIndices x{std::nullopt, kNaN, 1, p[0], kNaN, 0.0};

    double nearest = std::fabs(p[0] - 0.5);
    for (std::size_t k = 1; k < K; ++k) {
        const double distance = std::fabs(p[k] - 0.5);
        if (distance < nearest) nearest = distance, x.beta = k + 1, x.b = p[k];
    }
    if (K < 2) return x;

    std::size_t falls = 0;
    for (std::size_t k = 0; k + 1 < K; ++k) {
        const double d = p[k + 1] - p[k];
        if (!x.alpha || d > x.a) x.alpha = k + 1, x.a = d;
        if (d < 0.0) ++falls, x.c = x.c + d;
    }
    x.gamma = double(falls) / double(K - 1);
    return x;
}

}  // namespace tavrel
