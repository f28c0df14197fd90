#include "updater/Version.h"

#include <gtest/gtest.h>

namespace {

TEST(UpdaterVersion, Weights)
{
    struct Case {
        const char* text;
        std::int32_t weight;
    } cases[] = {
        {"3.0.0.25", 3000025},
        {"3.0.0.26", 3000026},
        {"3.0.1.0", 3000100},
        {"3.0.0.125", 3000125},
        {"3.0.1", 3000100},
        {"3.0.0.100", 3000100},
        {"3", 3000000},
        {"", 0},
        {"a.b.c.d", 0},
        {" 2.-1.7x.08", 2000000 - 10000 + 700 + 8},
        {"1.2.3.4.5", 1020304}, // a fifth part is ignored
        {"+4..2", 4000200},
        {"3000.0.0.0", static_cast<std::int32_t>(3000000000u)}, // wraps as 32-bit arithmetic does
    };
    for (const auto& c : cases)
        EXPECT_EQ(updater::versionWeight(c.text), c.weight) << '"' << c.text << '"';
}

TEST(UpdaterVersion, NewerOnlyWhenHeavier)
{
    struct Case {
        const char* current;
        const char* other;
        bool newer;
    } cases[] = {
        {"3.0.0.25", "3.0.0.26", true},
        {"3.0.0.26", "3.0.0.25", false},
        {"3.0.0.25", "3.0.0.25", false},
        {"3.0.1.0", "3.0.0.125", true}, // the weights say so, whatever the dots suggest
        {"3.0.1", "3.0.0.100", false},
        {"3.0.0.100", "3.0.1", false},
        {"3.0.0.25", "4", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(updater::newer(c.current, c.other), c.newer) << c.current << " -> " << c.other;
}

} // namespace
