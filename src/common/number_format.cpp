#include "common/number_format.hpp"

#include <charconv>
#include <cmath>
#include <cstring>

namespace tavrel {

std::size_t formatSignificant(double value, int digits, char* out) {
    const auto result = std::to_chars(out, out + kMaxNumberText, value, std::chars_format::general, digits);
    return static_cast<std::size_t>(result.ptr - out);
}

std::size_t formatStatistic(double value, int digits, char* out) {
    const auto word = [out](const char* text) {
        const std::size_t n = std::strlen(text);
        std::memcpy(out, text, n);
        return n;
    };
    if (std::isnan(value)) return word("NA");
    if (std::isinf(value)) return word(value > 0 ? "Inf" : "-Inf");
    return formatSignificant(value, digits, out);
}

std::size_t formatInteger(std::int64_t value, char* out) {
    const auto result = std::to_chars(out, out + kMaxNumberText, value);
    return static_cast<std::size_t>(result.ptr - out);
}

}  // namespace tavrel
