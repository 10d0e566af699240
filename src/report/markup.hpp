#pragma once
// Text and numbers as the report page writes them. Every text that comes
// from the inputs goes through appendEscaped, in element content and in
// attribute values alike.

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrel::report {

// Appends the text with &, <, >, " and ' as character references. Bytes that
// do not form UTF-8, and characters that XML does not allow (control
// characters but TAB, LF and CR; U+FFFE, U+FFFF), become U+FFFD, so the page
// and every <svg> in it parse as HTML and as XML whatever the inputs hold.
void appendEscaped(std::string& out, std::string_view text);

// <tag attributes>text</tag> with the text escaped. The attributes, if any,
// start with a blank and are markup the caller made, every value escaped.
void appendElement(std::string& out, std::string_view tag, std::string_view text, std::string_view attributes = {});

// At most `limit` characters of a UTF-8 text; a longer one is cut and ends
// with an ellipsis. Returns the text unescaped.
std::string shortened(std::string_view text, std::size_t limit);

// A statistic with 4 significant digits, trailing zeros dropped; NA, Inf and
// -Inf as in the statistics files.
void appendNumber(std::string& out, double value);

void appendInteger(std::string& out, std::int64_t value);

// A coordinate in user units with one decimal, without a trailing ".0" and
// never "-0". Callers pass finite values only.
void appendCoordinate(std::string& out, double value);

}  // namespace tavrel::report
