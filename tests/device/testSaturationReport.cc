// Conversions towards a register report the elements that the register cannot hold.
#include "Corvane/RegisterConverter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using Corvane::FixedPointConverter;
using Corvane::IEEE754Converter;
using Corvane::RegisterConverter;

namespace {

  constexpr double unboundedValue = std::numeric_limits<double>::infinity();

  TEST(SaturationReport, CountsAndLocatesTheElementsBeyondTheRegistersRange) {
    struct Case {
      std::string what;
      RegisterConverter converter;
      std::vector<double> values;
      std::size_t count, firstIndex;
    };
    const RegisterConverter signed18(FixedPointConverter("/Test/fixed", 18, 16, true)); // -2 .. 1.99998
    const RegisterConverter unsigned8(FixedPointConverter("/Test/unsigned", 8, 0, false));
    const RegisterConverter single(IEEE754Converter("/Test/float"));
    const Case cases[] = {
        {"values in range, rounded", signed18, {1.5, -2, 1.999992, -2.000007}, 0, 0},
        {"beyond the range on both sides", signed18, {0, 1e9, -3, 1}, 2, 1},
        {"infinities", signed18, {-unboundedValue, unboundedValue}, 2, 0},
        {"negative to unsigned", unsigned8, {3, 255, -1}, 1, 2},
        {"unsigned overflow", unsigned8, {255.4, 255.6}, 1, 1},
        {"float keeps infinities", single, {unboundedValue, -unboundedValue, 1e38}, 0, 0},
        {"finite beyond float", single, {1, -1e39}, 1, 1},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      std::vector<std::int32_t> raw(c.values.size());
      RegisterConverter::Saturation saturation{99, 99};
      c.converter.toRaw<double>(std::span<const double>(c.values), std::span<std::int32_t>(raw), &saturation);
      EXPECT_EQ(saturation.count, c.count);
      if(c.count > 0) {
        EXPECT_EQ(saturation.firstIndex, c.firstIndex);
      }
      // the report changes nothing of the conversion itself
      std::vector<std::int32_t> plain(c.values.size());
      c.converter.toRaw<double>(std::span<const double>(c.values), std::span<std::int32_t>(plain));
      EXPECT_EQ(raw, plain);
    }
  }

} // namespace
