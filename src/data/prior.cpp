#include "data/prior.hpp"

#include <algorithm>
#include <string_view>

#include "common/console.hpp"
#include "common/messages.hpp"
#include "common/numbers.hpp"

namespace tavrel {

void readPrior(const std::string& value, std::span<double> prior, std::int32_t nranks, Observer& observer) {
    const std::string_view text(value);
    std::fill(prior.begin(), prior.end(), 0.0);
    const auto K = static_cast<std::size_t>(std::max(nranks, 0));

    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && isBlank(text[pos])) ++pos;
    };
    const auto takeToken = [&](bool stopAtSlash) {
        const std::size_t from = pos;
        while (pos < text.size() && !isBlank(text[pos]) && text[pos] != ',' && text[pos] != '\xFF' &&
               !(stopAtSlash && text[pos] == '/'))
            ++pos;
        return text.substr(from, pos - from);
    };

    std::size_t count = 0;
    while (pos < text.size() && count < K) {
        skipBlanks();
        double element = leadingNumber(takeToken(true));
        if (pos < text.size() && text[pos] == '/') {
            ++pos;
            double denominator = leadingNumber(takeToken(false));
            if (denominator == 0.0) denominator = 1.0;
            element = element / denominator;
        }
        prior[count++] = element;
        skipBlanks();
        if (pos < text.size() && text[pos] == ',') ++pos;
        skipBlanks();
    }

    if (count < K) {
        warn(observer, "\"Too few elements of the prior probability (", count, " < ", nranks, ").");
    } else if (pos < text.size() && text.size() - pos >= 2) {
        warn(observer, "\"Too many elements of the prior probability. Only ", nranks, " elements are used.");
    }

    std::string list;
    for (std::size_t k = 0; k < K; ++k) list += messageText(k > 0 ? ", " : "", prior[k]);
    note(observer, "Prior probabilities are as follows: ", list);
}

}  // namespace tavrel
