#include "output/number_format.hpp"

#include <charconv>

namespace tavrel {

std::size_t formatGeneral(double value, char* out) {
    const auto result = std::to_chars(out, out + kMaxNumberText, value, std::chars_format::general, 6);
    return static_cast<std::size_t>(result.ptr - out);
}

std::size_t formatInteger(std::int64_t value, char* out) {
    const auto result = std::to_chars(out, out + kMaxNumberText, value);
    return static_cast<std::size_t>(result.ptr - out);
}

}  // namespace tavrel
