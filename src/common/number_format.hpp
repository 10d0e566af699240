#pragma once
// Numbers as a default-state output stream writes them.

#include <cstddef>
#include <cstdint>

namespace tavrel {

// Longest text formatGeneral, formatSignificant, formatStatistic or
// formatInteger writes.
inline constexpr std::size_t kMaxNumberText = 32;

// General notation with `digits` significant digits (1 to 17), trailing zeros
// dropped, as printf's %g; returns the number of characters written to out.
std::size_t formatSignificant(double value, int digits, char* out);

// General notation with 6 significant digits, like `std::ostream << double`
// (and printf's %g).
inline std::size_t formatGeneral(double value, char* out) { return formatSignificant(value, 6, out); }

// A statistic: NA for a value that does not exist (NaN), Inf or -Inf for an
// infinite one, the forms R and pandas read; otherwise formatSignificant.
std::size_t formatStatistic(double value, int digits, char* out);

std::size_t formatInteger(std::int64_t value, char* out);

}  // namespace tavrel
