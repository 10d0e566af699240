#pragma once
// Console conventions: message prefixes and word input.

#include <iosfwd>
#include <string>
#include <string_view>

namespace tavrel {

inline constexpr std::string_view kNote = "tavrel.exe: Note: ";
inline constexpr std::string_view kWarning = "tavrel.exe: Warning: ";
inline constexpr std::string_view kError = "tavrel.exe: Error: ";

// The six characters that separate words and that the scanners skip.
constexpr bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one word: skips blanks, then takes characters up to the next blank,
// which stays unread. At the end of input the word is empty.
std::string readWord(std::istream& in);

}  // namespace tavrel
