#pragma once
// Fields of delimited output, quoted by RFC 4180 rules where needed.

#include <string_view>

#include "common/text_file.hpp"

namespace tavrel {

// Whether the field holds the delimiter, a double quote, CR or LF, and so must
// be quoted.
bool needsQuoting(std::string_view field, char delimiter);

// Writes the field as it is, or, where it needs quoting, within double quotes
// with each quote inside doubled.
void writeField(OutputFile& out, std::string_view field, char delimiter);

}  // namespace tavrel
