#include "report/markup.hpp"

#include <charconv>
#include <cmath>

#include "common/number_format.hpp"

namespace tavrel::report {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence of a character XML allows
// that starts text, or 0 when there is none.
std::size_t validSequence(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    std::size_t length;
    std::uint32_t code;
    if (lead < 0x80) return lead >= 0x20 || lead == '\t' || lead == '\n' || lead == '\r' ? 1 : 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, code = lead & 0x1Fu;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, code = lead & 0x0Fu;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, code = lead & 0x07u;
    else return 0;
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i) & 0x3Fu);
    }
    constexpr std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool overlong = code < smallest[length];
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    const bool outside = code > 0x10FFFF || code == 0xFFFE || code == 0xFFFF;
    return overlong || surrogate || outside ? 0 : length;
}

}  // namespace

void appendEscaped(std::string& out, std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t length = validSequence(text.substr(i));
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        switch (text[i]) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out.append(text.substr(i, length));
        }
        i += length;
    }
}

void appendElement(std::string& out, std::string_view tag, std::string_view text, std::string_view attributes) {
    out += '<';
    out += tag;
    out += attributes;
    out += '>';
    appendEscaped(out, text);
    out += "</";
    out += tag;
    out += '>';
}

std::string shortened(std::string_view text, std::size_t limit) {
    const auto leads = [&](std::size_t i) { return (static_cast<unsigned char>(text[i]) & 0xC0u) != 0x80u; };
    // A longer text is cut where its character `limit - 1` starts, which
    // leaves room for the ellipsis.
    std::size_t characters = 0;
    std::size_t cut = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!leads(i)) continue;
        if (characters + 1 == limit) cut = i;
        if (characters == limit) return std::string(text.substr(0, cut)) + "\xE2\x80\xA6";
        ++characters;
    }
    return std::string(text);
}

void appendNumber(std::string& out, double value) {
    char text[kMaxNumberText];
    out.append(text, formatStatistic(value, 4, text));
}

void appendInteger(std::string& out, std::int64_t value) {
    char text[kMaxNumberText];
    out.append(text, formatInteger(value, text));
}

void appendCoordinate(std::string& out, double value) {
    char text[kMaxNumberText];
    const double rounded = std::round(value * 10.0) / 10.0;
    const auto result = std::to_chars(text, text + sizeof text, rounded == 0.0 ? 0.0 : rounded,
                                      std::chars_format::fixed, 1);
    std::size_t n = static_cast<std::size_t>(result.ptr - text);
    if (n >= 2 && text[n - 2] == '.' && text[n - 1] == '0') n -= 2;
    out.append(text, n);
}

}  // namespace tavrel::report
