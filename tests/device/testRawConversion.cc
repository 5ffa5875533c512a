// Decimal text parsing and formatting used for string access to registers.
#include "Corvane/RawConversion.h"

#include <gtest/gtest.h>

#include <cmath>

namespace RC = Corvane::RawConversion;

namespace {

  TEST(RawConversion, ParseDecimal) {
    struct Case {
      const char* text;
      long double value;
    };
    const Case valid[] = {
        {"12", 12},
        {"-12", -12},
        {"+3", 3},
        {"1e3", 1000},
        {"-0.25", -0.25L},
        {"18446744073709551615", 18446744073709551615.0L},
        {"-9223372036854775808", -9223372036854775808.0L},
        {"9007199254740993", 9007199254740993.0L}, // 2^53 + 1: exact, no detour through double
    };
    for(const auto& c : valid) {
      SCOPED_TRACE(c.text);
      auto value = RC::parseDecimal(c.text);
      ASSERT_TRUE(value.has_value());
      EXPECT_EQ(*value, c.value);
    }
    EXPECT_TRUE(std::isinf(*RC::parseDecimal("inf")));
    EXPECT_TRUE(std::isnan(*RC::parseDecimal("nan")));
    for(const char* bad : {"", "+", "-", "1,5", "0x10", "1e", "twelve", "12 "}) {
      SCOPED_TRACE(bad);
      EXPECT_FALSE(RC::parseDecimal(bad).has_value());
    }
  }

  TEST(RawConversion, FormatExact) {
    EXPECT_EQ(RC::formatExact(0), "0");
    EXPECT_EQ(RC::formatExact(-7), "-7");
    EXPECT_EQ(RC::formatExact(18446744073709551615.0L), "18446744073709551615");
    EXPECT_EQ(RC::formatExact(0.5L), "0.5");
    EXPECT_EQ(RC::formatExact(std::ldexp(1.0L, 80)), "1.2089258196146292e+24"); // beyond 64 bits
  }

} // namespace
