// How many worker threads a run gets: the setting, else the environment,
// else the processors; and how a CPU quota bounds the processors.
#include <gtest/gtest.h>

#include <thread>

#include "common/processors.hpp"
#include "driver/run_parameters.hpp"

namespace tavrel {
namespace {

TEST(ResolveThreads, SettingThenEnvironmentThenProcessors) {
    struct Case {
        const char* setting;      // nullptr: no `threads` key
        const char* environment;  // nullptr: TAVREL_THREADS unset
        std::size_t expected;     // on 6 processors
    };
    const Case cases[] = {
        {"4", nullptr, 4},     {"1", "8", 1},       {"0", "3", 6},       {"-2", nullptr, 6},  {"abc", "3", 6},
        {"", "3", 6},          {"2.9", nullptr, 2}, {"300", nullptr, 256}, {"256", nullptr, 256},
        {nullptr, "3", 3},     {nullptr, " 12", 12}, {nullptr, "0", 6},   {nullptr, "-1", 6},  {nullptr, "abc", 6},
        {nullptr, "", 6},      {nullptr, "9999", 256}, {nullptr, nullptr, 6},
    };
    for (const Case& c : cases) {
        SettingMap settings{{"nranks", "3"}};
        if (c.setting != nullptr) settings["threads"] = c.setting;
        EXPECT_EQ(resolveThreads(settings, c.environment, 6), c.expected)
            << (c.setting ? c.setting : "(none)") << " / " << (c.environment ? c.environment : "(unset)");
    }
}

TEST(Processors, QuotaRoundsUpAndMaxMeansNoLimit) {
    EXPECT_EQ(quotaProcessors("max 100000"), 0u);
    EXPECT_EQ(quotaProcessors("200000 100000"), 2u);
    EXPECT_EQ(quotaProcessors("150000 100000\n"), 2u);
    EXPECT_EQ(quotaProcessors("50000 100000"), 1u);
    EXPECT_EQ(quotaProcessors("-1 100000"), 0u);  // the older hierarchy's "no quota"
    // A quota at the top of the range rounds up without overflowing.
    EXPECT_EQ(quotaProcessors("9223372036854775807 2"), 4611686018427387904u);
    for (const char* text : {"", "100000", "abc 100000", "100000 0", "1e5 100000"})
        EXPECT_EQ(quotaProcessors(text), 0u) << text;
    const std::size_t available = availableProcessors();
    EXPECT_GE(available, 1u);
    if (std::thread::hardware_concurrency() > 0) {
        EXPECT_LE(available, std::thread::hardware_concurrency());
    }
}

}  // namespace
}  // namespace tavrel
