#pragma once
// Numbers as a default-state output stream writes them.

#include <cstddef>
#include <cstdint>

namespace tavrel {

// Longest text formatGeneral or formatInteger writes.
inline constexpr std::size_t kMaxNumberText = 32;

// General notation with 6 significant digits, like `std::ostream << double`
// (and printf's %g); returns the number of characters written to out.
std::size_t formatGeneral(double value, char* out);

std::size_t formatInteger(std::int64_t value, char* out);

}  // namespace tavrel
