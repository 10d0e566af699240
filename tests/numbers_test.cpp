#include "common/numbers.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tavrel {
namespace {

TEST(LeadingInteger, TakesTheLeadingDigitRun) {
    EXPECT_EQ(leadingInteger("5.7"), 5);
    EXPECT_EQ(leadingInteger("1e3"), 1);
    EXPECT_EQ(leadingInteger(" \t\n\v\f\r-42x"), -42);
    EXPECT_EQ(leadingInteger("+7"), 7);
    EXPECT_EQ(leadingInteger("abc"), 0);
    EXPECT_EQ(leadingInteger(""), 0);
    EXPECT_EQ(leadingInteger("- 5"), 0);
}

TEST(LeadingInteger, SaturatesInsteadOfOverflowing) {
    EXPECT_EQ(leadingInteger("2147483647"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(leadingInteger("2147483648"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(leadingInteger("99999999999999999999999"), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(leadingInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(leadingInteger("-99999999999"), std::numeric_limits<std::int32_t>::min());
}

TEST(LeadingNumber, TakesTheLongestDecimalPrefix) {
    EXPECT_EQ(leadingNumber("0.0001"), 0.0001);
    EXPECT_EQ(leadingNumber("1/3"), 1.0);
    EXPECT_EQ(leadingNumber("  -2.5e1x"), -25.0);
    EXPECT_EQ(leadingNumber("+.5"), 0.5);
    EXPECT_EQ(leadingNumber("3."), 3.0);
    EXPECT_EQ(leadingNumber("5e"), 5.0);
    EXPECT_EQ(leadingNumber("5e+"), 5.0);
    EXPECT_EQ(leadingNumber("1E-1"), 0.1);
    EXPECT_EQ(leadingNumber("."), 0.0);
    EXPECT_EQ(leadingNumber("1,5"), 1.0);
}

TEST(LeadingNumber, KnowsNoSpecialOrHexadecimalForms) {
    EXPECT_EQ(leadingNumber("inf"), 0.0);
    EXPECT_EQ(leadingNumber("nan"), 0.0);
    EXPECT_EQ(leadingNumber("0x10"), 0.0);
    EXPECT_EQ(leadingNumber("infinity"), 0.0);
}

TEST(LeadingNumber, OutOfRangeRoundsLikeStrtod) {
    EXPECT_EQ(leadingNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber("1e-400"), 0.0);
    EXPECT_EQ(leadingNumber("1e-310"), 1e-310);  // subnormal, kept
    EXPECT_TRUE(std::signbit(leadingNumber("-0")));
    // Which way it rounds follows the first nonzero digit's power of ten.
    EXPECT_EQ(leadingNumber("999e306"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(leadingNumber("0.0001e312"), 1e308);
    EXPECT_EQ(leadingNumber("12345.6e-330"), 0.0);
    EXPECT_EQ(leadingNumber("-0.00000e999"), 0.0);
    EXPECT_EQ(leadingNumber("0.00000000001e-320"), 0.0);
}

}  // namespace
}  // namespace tavrel
