#include "settings/value_interpreters.hpp"

#include <array>
#include <string_view>

#include "common/console.hpp"
#include "common/numbers.hpp"

namespace tavrel {
namespace {

void lowerCase(std::string& text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

template <std::size_t N>
bool isOneOf(const std::string& word, const std::array<std::string_view, N>& words) {
    for (std::string_view w : words)
        if (word == w) return true;
    return false;
}

}  // namespace

bool interpretBoolean(std::string value) {
    lowerCase(value);
    static constexpr std::array<std::string_view, 4> yes{"true", "t", "yes", "1"};
    return isOneOf(value, yes);
}

char interpretDelimiter(std::string value) {
    lowerCase(value);
    static constexpr std::array<std::string_view, 3> comma{",", "comma", "c"};
    static constexpr std::array<std::string_view, 3> tab{"\t", "tab", "t"};
    static constexpr std::array<std::string_view, 3> blank{" ", "space", "s"};
    if (isOneOf(value, comma)) return ',';
    if (isOneOf(value, tab)) return '\t';
    if (isOneOf(value, blank)) return ' ';
    return ',';
}

std::optional<char> interpretDataFormat(std::string value) {
    lowerCase(value);
    if (value == "fixed") return '\0';
    if (value == "csv") return ',';
    if (value == "tsv") return '\t';
    if (value == "semicolon") return ';';
    return std::nullopt;
}

double interpretFraction(std::string value) {
    const std::string_view text(value);
    std::size_t pos = 0;
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    const std::size_t numeratorStart = pos;
    while (pos < text.size() && !isBlank(text[pos]) && text[pos] != '/' && text[pos] != '\xFF') ++pos;
    const std::string_view numerator = text.substr(numeratorStart, pos - numeratorStart);
    if (pos >= text.size() || text[pos] != '/') return leadingNumber(numerator);

    const std::size_t denominatorStart = ++pos;
    while (pos < text.size() && !isBlank(text[pos]) && text[pos] != '\xFF') ++pos;
    double d = leadingNumber(text.substr(denominatorStart, pos - denominatorStart));
    if (d == 0.0) d = 1.0;
    return leadingNumber(numerator) / d;
}

}  // namespace tavrel
