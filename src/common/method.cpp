#include <array>
#include <string>

#include "tavrel/options.hpp"

namespace tavrel {

std::optional<Method> methodFromWord(std::string_view word) {
    std::string lower(word);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const auto isOneOf = [&](const auto& words) {
        for (const std::string_view w : words)
            if (lower == w) return true;
        return false;
    };
    static constexpr std::array<std::string_view, 7> distance{"ed2", "euclid", "euclidean", "e", "distance", "d", "ls"};
    static constexpr std::array<std::string_view, 3> likelihood{"ml", "likelihood", "l"};
    static constexpr std::array<std::string_view, 3> posterior{"map", "bayes", "bayesian"};
    static constexpr std::array<std::string_view, 3> batch{"gtm", "batch", "em"};
    if (isOneOf(distance)) return Method::Distance;
    if (isOneOf(likelihood)) return Method::Likelihood;
    if (isOneOf(posterior)) return Method::Bayes;
    if (isOneOf(batch)) return Method::Batch;
    return std::nullopt;
}

std::string_view methodWord(Method method) {
    switch (method) {
        case Method::Distance: return "ls";
        case Method::Bayes: return "bayes";
        case Method::Batch: return "batch";
        case Method::Likelihood: break;
    }
    return "ml";
}

}  // namespace tavrel
