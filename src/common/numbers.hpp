#pragma once
// Locale-independent conversions of setting and data text.

#include <cstdint>
#include <string_view>

namespace tavrel {

// atoi-like: skips blanks, takes an optional sign and the longest digit run;
// 0 without digits. Saturates at INT_MAX / INT_MIN instead of overflowing.
std::int32_t leadingInteger(std::string_view text);

// atof-like, decimal only: skips blanks, then takes the longest prefix of the
// form [+-] digits [. [digits]] or [+-] . digits, followed by an exponent only
// when it has at least one digit. 0.0 without such a prefix; "inf", "nan" and
// hexadecimal forms are not numbers. The prefix becomes the nearest double.
double leadingNumber(std::string_view text);

}  // namespace tavrel
