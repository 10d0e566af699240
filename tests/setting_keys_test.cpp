#include "settings/setting_keys.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace tavrel {
namespace {

// Keys and aliases as the README's key reference lists them.
std::map<std::string, std::set<std::string>> readmeKeyTable() {
    std::ifstream readme(std::string(TAVREL_SOURCE_DIR) + "/README.md");
    std::map<std::string, std::set<std::string>> table;
    std::string line;
    bool inTable = false;
    while (std::getline(readme, line)) {
        if (line == "### Key reference") inTable = true;
        else if (inTable && line.rfind("## ", 0) == 0) break;
        if (!inTable || line.rfind("| `", 0) != 0) continue;
        // | `key` | `alias`, `alias` | ...
        const std::size_t keyEnd = line.find('`', 3);
        const std::string key = line.substr(3, keyEnd - 3);
        const std::size_t aliasStart = line.find('|', keyEnd) + 1;
        const std::string aliases = line.substr(aliasStart, line.find('|', aliasStart) - aliasStart);
        std::set<std::string>& names = table[key];
        for (std::size_t open = aliases.find('`'); open != std::string::npos;) {
            const std::size_t close = aliases.find('`', open + 1);
            names.insert(aliases.substr(open + 1, close - open - 1));
            open = aliases.find('`', close + 1);
        }
    }
    return table;
}

TEST(SettingKeys, ReadmeKeyReferenceFollowsTheTable) {
    const auto documented = readmeKeyTable();
    ASSERT_EQ(documented.size(), kSettingKeys.size());
    for (const SettingKey& key : kSettingKeys) {
        const auto it = documented.find(std::string(key.name));
        ASSERT_NE(it, documented.end()) << key.name;
        std::set<std::string> aliases;
        for (std::string_view alias : key.aliases)
            if (!alias.empty()) aliases.insert(std::string(alias));
        EXPECT_EQ(it->second, aliases) << key.name;
    }
}

TEST(SettingKeys, ThirtyEightNamesFoldOntoTwentyEightKeys) {
    std::set<std::string_view> accepted;
    for (const SettingKey& key : kSettingKeys) {
        EXPECT_EQ(canonicalKey(key.name), key.name);
        accepted.insert(key.name);
        for (std::string_view alias : key.aliases) {
            if (alias.empty()) continue;
            EXPECT_EQ(canonicalKey(alias), key.name);
            accepted.insert(alias);
        }
    }
    EXPECT_EQ(accepted.size(), 38u);
    for (std::string_view name : {"", "sigma0", "crit", "NRANKS", "nranks ", "data"})
        EXPECT_FALSE(canonicalKey(name).has_value()) << name;
    EXPECT_TRUE(isRetiredKey("sigma0"));
    EXPECT_TRUE(isRetiredKey("crit"));
    EXPECT_FALSE(isRetiredKey("nranks"));
}

}  // namespace
}  // namespace tavrel
