#include "data/prior.hpp"

#include <algorithm>
#include <ostream>
#include <string_view>

#include "common/console.hpp"
#include "common/numbers.hpp"

namespace tavrel {

void readPrior(const std::string& value, std::span<double> prior, std::int32_t nranks, std::ostream& console) {
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
        console << kWarning << "\"Too few elements of the prior probability (" << count << " < " << nranks << ").\n";
    } else if (pos < text.size() && text.size() - pos >= 2) {
        console << kWarning << "\"Too many elements of the prior probability. Only " << nranks
                << " elements are used.\n";
    }

    console << kNote << "Prior probabilities are as follows: ";
    for (std::size_t k = 0; k < K; ++k) {
        if (k > 0) console << ", ";
        console << prior[k];
    }
    console << "\n";
}

}  // namespace tavrel
