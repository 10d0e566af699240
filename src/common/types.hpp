#pragma once
// Shared types and limits of a run.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <map>
#include <new>
#include <string>

namespace tavrel {

// Setting key (canonical, lower case) -> raw value text, case kept.
using SettingMap = std::map<std::string, std::string>;

// The value of a key that is present, an empty one included; else null.
inline const std::string* findSetting(const SettingMap& settings, const std::string& key) {
    const auto it = settings.find(key);
    return it == settings.end() ? nullptr : &it->second;
}

// Probabilities and memberships never fall below kDblMin; measures never
// exceed kDblMax.
inline constexpr double kDblMin = std::numeric_limits<double>::min();
inline constexpr double kDblMax = std::numeric_limits<double>::max();
// A value that does not exist (0/0, a rank beyond the ends): written NA.
inline constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Element count of a flat array of a x b cells. Counts come from the settings
// unchecked, so a negative product is an impossible allocation.
inline std::size_t arrayCount(std::int64_t a, std::int64_t b = 1) {
    const std::int64_t n = a * b;  // both factors are 32-bit counts
    if (n < 0) throw std::bad_alloc();
    return static_cast<std::size_t>(n);
}

}  // namespace tavrel
