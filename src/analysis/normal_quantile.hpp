#pragma once
// The standard normal quantile function.

namespace tavrel {

// The z with P(Z <= z) = p for a standard normal Z, to about 1e-16 relative
// accuracy: -Inf at p = 0, Inf at p = 1, NaN outside [0, 1] or for a NaN.
double normalQuantile(double p);

}  // namespace tavrel
