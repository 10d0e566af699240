#include "common/numbers.hpp"

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/console.hpp"

namespace tavrel {
namespace {

constexpr bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    return i;
}

}  // namespace

std::int32_t leadingInteger(std::string_view text) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Accumulate toward the sign so that INT_MIN itself is reachable.
    constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > limit) magnitude = limit;
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);
    return magnitude >= limit ? std::numeric_limits<std::int32_t>::max()
                              : static_cast<std::int32_t>(magnitude);
}

double leadingNumber(std::string_view text) {
    const std::size_t start = skipBlanks(text);
    std::size_t i = start;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t mantissaStart = i;
    std::size_t digits = 0;
    while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && isDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0.0;
    std::size_t end = i;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && isDigit(text[e])) {
            while (e < text.size() && isDigit(text[e])) ++e;
            end = e;
        }
    }
    // from_chars takes no '+' sign; the sign is applied afterwards.
    const bool negative = text[start] == '-';
    double value = 0.0;
    const char* first = text.data() + mantissaStart;
    const char* last = text.data() + end;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the range of double: strtod rounds to infinity or to zero
        // like any atof. The prefix holds only digits, '.', 'e' and a sign,
        // and the program never changes the "C" locale.
        const std::string copy(first, last);
        value = std::strtod(copy.c_str(), nullptr);
    }
    return negative ? -value : value;
}

}  // namespace tavrel
