// Fuzz target: the fraction interpreter on any text. Where the text holds only
// characters of decimal numbers, blanks and '/', the result must equal, to the
// bit, the quotient of the two parts as strtod reads them.
#include <cmath>
#include <cstring>
#include <string_view>

#include "console_record.hpp"
#include "fuzz_input.hpp"
#include "settings/value_interpreters.hpp"

namespace {

constexpr std::string_view kBlanks = " \t\n\v\f\r";

double strtodOf(std::string_view text) {
    const std::string copy(text);
    return std::strtod(copy.c_str(), nullptr);
}

double expectedFraction(std::string_view text) {
    const std::size_t start = std::min(text.find_first_not_of(kBlanks), text.size());
    const std::size_t end = std::min(text.find_first_of(" \t\n\v\f\r/", start), text.size());
    const double n = strtodOf(text.substr(start, end - start));
    if (end == text.size() || text[end] != '/') return n;
    const std::string_view rest = text.substr(end + 1);
    const double d = strtodOf(rest.substr(0, rest.find_first_of(kBlanks)));
    return n / (d == 0.0 ? 1.0 : d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string value(reinterpret_cast<const char*>(data), size);
    const double result = tavrel::interpretFraction(value);
    if (value.find_first_not_of("0123456789+-.eE/ \t\n\v\f\r") != std::string::npos) return 0;
    const double expected = expectedFraction(value);
    tavrel::fuzz::require((std::isnan(result) && std::isnan(expected)) ||
                          std::memcmp(&result, &expected, sizeof result) == 0);
    return 0;
}
