#pragma once
// Conversions of word and fraction values. None fails: text that is not
// recognised gives the fallback.

#include <optional>
#include <string>
#include <string_view>

namespace tavrel {

bool interpretBoolean(std::string value);
// ',', '\t' or ' '; ',' by default.
char interpretDelimiter(std::string value);
// The delimiter a data format names (case ignored): 0 for `fixed` columns,
// ',' `csv`, '\t' `tsv`, ';' `semicolon`; nothing for any other word.
std::optional<char> interpretDataFormat(std::string value);
// A number or a fraction n/d (d of 0 taken as 1).
double interpretFraction(std::string value);

}  // namespace tavrel
