#include "settings/setting_keys.hpp"

#include <algorithm>

namespace tavrel {

std::optional<std::string_view> canonicalKey(std::string_view key) {
    if (key.empty()) return std::nullopt;
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.name == key) return entry.name;
        for (std::string_view alias : entry.aliases)
            if (alias == key) return entry.name;
    }
    return std::nullopt;
}

bool isRetiredKey(std::string_view key) {
    return std::find(kRetiredKeys.begin(), kRetiredKeys.end(), key) != kRetiredKeys.end();
}

}  // namespace tavrel
