#include "settings/rank_count_list.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

#include "common/console.hpp"
#include "common/messages.hpp"

namespace tavrel {
namespace {

constexpr std::size_t kMostCounts = 100;

// A positive count in 32 bits, digits only.
std::optional<std::int64_t> count(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    }
    if (value < 1) return std::nullopt;
    return value;
}

}  // namespace

std::vector<std::int32_t> rankCountList(const std::string& value, Observer& observer) {
    // Blanks around a '-' belong to the range: "5 - 8" is one token.
    std::string joined;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (isBlank(value[i])) {
            std::size_t next = i;
            while (next < value.size() && isBlank(value[next])) ++next;
            const bool besideDash = (!joined.empty() && joined.back() == '-') || (next < value.size() && value[next] == '-');
            if (!besideDash) joined.push_back(' ');
            i = next - 1;
            continue;
        }
        joined.push_back(value[i]);
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    std::size_t pos = 0;
    while (pos < joined.size()) {
        const std::size_t end = joined.find_first_of(", ", pos);
        const std::string_view token =
            std::string_view(joined).substr(pos, (end == std::string::npos ? joined.size() : end) - pos);
        pos = end == std::string::npos ? joined.size() : end + 1;
        if (token.empty()) continue;
        const std::size_t dash = token.find('-');
        const std::optional<std::int64_t> first = count(token.substr(0, dash));
        const std::optional<std::int64_t> last = dash == std::string_view::npos ? first : count(token.substr(dash + 1));
        if (!first || !last || *first > *last) {
            warn(observer, "Value \"", token, "\" of ranksweep is not a rank count; it is ignored.");
            continue;
        }
        ranges.emplace_back(*first, *last);
    }
    // Ascending, each once: the ranges merged, then counted out.
    std::sort(ranges.begin(), ranges.end());
    std::vector<std::int32_t> counts;
    std::int64_t next = 1;  // the smallest count not yet taken
    bool tooMany = false;
    for (const auto& [first, last] : ranges) {
        for (std::int64_t k = std::max(first, next); k <= last; ++k) {
            if (counts.size() == kMostCounts) {
                tooMany = true;
                break;
            }
            counts.push_back(static_cast<std::int32_t>(k));
        }
        next = std::max(next, last + 1);
        if (tooMany) break;
    }
    if (tooMany)
        warn(observer, "Parameter \"ranksweep\" holds more than 100 rank counts; the first 100 are used.");
    return counts;
}

}  // namespace tavrel
