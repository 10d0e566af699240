#include "common/numbers.hpp"

#include <algorithm>
#include <charconv>
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

// The power of ten of the first nonzero digit of a decimal number (digits,
// at most one '.', then an optional exponent); 0 when every digit is 0.
std::int64_t decimalExponent(std::string_view number) {
    constexpr std::size_t kNone = std::string_view::npos;
    std::size_t point = kNone, firstNonzero = kNone, i = 0;
    for (; i < number.size() && (isDigit(number[i]) || number[i] == '.'); ++i) {
        if (number[i] == '.')
            point = i;
        else if (number[i] != '0' && firstNonzero == kNone)
            firstNonzero = i;
    }
    if (firstNonzero == kNone) return 0;
    if (point == kNone) point = i;
    const std::int64_t position = firstNonzero < point ? std::int64_t(point - firstNonzero) - 1
                                                       : -std::int64_t(firstNonzero - point);
    std::int64_t exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        ++i;
        const bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) ++i;
        for (; i < number.size() && isDigit(number[i]); ++i)
            exponent = std::min<std::int64_t>(exponent * 10 + (number[i] - '0'), 1'000'000'000);
        if (negative) exponent = -exponent;
    }
    return position + exponent;
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
        // Beyond the range of double, where atof gives infinity or zero;
        // which, the decimal exponent of the first nonzero digit tells. (No
        // strtod: it reads the decimal point of the process's locale.)
        value = decimalExponent(std::string_view(first, static_cast<std::size_t>(last - first))) > 0
                    ? std::numeric_limits<double>::infinity()
                    : 0.0;
    }
    return negative ? -value : value;
}

}  // namespace tavrel
