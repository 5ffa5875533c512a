// The number conversions of the table writers: saturating double-to-integer
// conversions, the phase wrap into
// [-180, 180], and the check of table elements that the firmware may take.
#include "TableNumerics.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace {

  using testvalues::nan;
  using testvalues::inf;
  using testvalues::int32Max;
  using testvalues::int32Min;

  using TableNumerics::saturatingRounding;
  using TableNumerics::saturatingTruncation;

  TEST(TableNumerics, ConversionsToIntegersSaturateAndTakeNaNAsZero) {
    struct Case {
      double value;
      std::int32_t truncated, rounded;
    };
    const Case cases[] = {{2.7, 2, 3}, {-2.7, -2, -3}, {0.5, 0, 1}, {-0.5, 0, -1}, {0.9, 0, 1},
        {2147483646.9, 2147483646, 2147483647}, {2147483647.0, int32Max, int32Max}, {3e9, int32Max, int32Max},
        {-2147483648.0, int32Min, int32Min}, {-2147483648.7, int32Min, int32Min}, {-3e9, int32Min, int32Min},
        {1e300, int32Max, int32Max}, {inf, int32Max, int32Max}, {-inf, int32Min, int32Min}, {nan, 0, 0}};
    for(const auto& c : cases) {
      EXPECT_EQ(saturatingTruncation<std::int32_t>(c.value), c.truncated) << c.value;
      EXPECT_EQ(saturatingRounding<std::int32_t>(c.value), c.rounded) << c.value;
    }
    // other widths use their own limits
    EXPECT_EQ(saturatingTruncation<std::uint8_t>(-1.0), 0);
    EXPECT_EQ(saturatingTruncation<std::uint8_t>(255.9), 255);
    EXPECT_EQ(saturatingTruncation<std::uint8_t>(256.0), 255);
    EXPECT_EQ(saturatingTruncation<std::int64_t>(1e19), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(saturatingTruncation<std::int64_t>(-9007199254740993.0), -9007199254740992);
  }

  TEST(TableNumerics, PhasesWrapIntoTheClosedRangeAsRepeatedTurnsWould) {
    struct Case {
      double phase, wrapped;
    };
    const Case cases[] = {{0, 0}, {179, 179}, {180, 180}, {-180, -180}, {183, -177}, {-183, 177}, {360, 0}, {540, 180},
        {-540, -180}, {541, -179}, {900, 180}, {-190, 170}, {1e6, -80}, {-720.5, -0.5}};
    for(const auto& c : cases) EXPECT_DOUBLE_EQ(TableNumerics::wrapPhase(c.phase), c.wrapped) << c.phase;
    // the reference: turns of 360 degrees until the phase lies in [-180, 180]
    for(double phase = -1000.25; phase < 1000; phase += 7.5) {
      double turned = phase;
      while(turned > 180) turned -= 360;
      while(turned < -180) turned += 360;
      EXPECT_DOUBLE_EQ(TableNumerics::wrapPhase(phase), turned) << phase;
    }
    // a phase that repeated turns would never bring into range is no phase
    for(double phase : {inf, -inf, nan}) EXPECT_TRUE(std::isnan(TableNumerics::wrapPhase(phase))) << phase;
  }

  TEST(TableNumerics, IndexSumsStayInsideTheTableWithoutOverflow) {
    struct Case {
      std::int32_t index;
      std::int64_t offset;
      std::uint64_t length;
      std::int32_t expected;
    };
    const Case cases[] = {{10, 5, 30, 15}, {10, -12, 30, 0}, {10, 25, 30, 29}, {29, 0, 30, 29}, {5, 3, 0, 0},
        {int32Max, int32Max, 30, 29}, {int32Min, int32Min, 30, 0},
        {0, std::numeric_limits<std::int64_t>::max(), 30, 29}, {0, std::numeric_limits<std::int64_t>::min(), 30, 0},
        {7, 0, 1, 0}};
    for(const auto& c : cases) {
      EXPECT_EQ(TableNumerics::clampedIndexSum(c.index, c.offset, c.length), c.expected)
          << c.index << " + " << c.offset << " in " << c.length;
    }
  }

  TEST(TableNumerics, GreaterThanRulesAlsoRequireAFiniteValue) {
    EXPECT_TRUE(TableNumerics::finiteAbove(1.0, 0.0));
    EXPECT_FALSE(TableNumerics::finiteAbove(0.0, 0.0));
    EXPECT_TRUE(TableNumerics::finiteAtLeast(0.0, 0.0));
    for(double v : {inf, -inf, nan}) {
      EXPECT_FALSE(TableNumerics::finiteAbove(v, 1e-6)) << v;
      EXPECT_FALSE(TableNumerics::finiteAtLeast(v, 0.0)) << v;
    }
  }

  TEST(TableNumerics, TheFirstElementTheFirmwareCannotTakeIsNamed) {
    const double beyondFloat = 1e39;
    struct Case {
      std::vector<double> values;
      std::optional<std::string> reason;
    };
    const Case cases[] = {{{0, -1.5, 3.4e38, -3.4e38}, std::nullopt}, {{}, std::nullopt},
        {{1, nan, inf}, "scale[1] is nan"}, {{1, 2, 3, -inf}, "scale[3] is -inf"}, {{inf}, "scale[0] is inf"},
        {{0, beyondFloat}, "scale[1] is 1e+39"}, {{-beyondFloat}, "scale[0] is -1e+39"}};
    for(const auto& c : cases) {
      EXPECT_EQ(TableNumerics::firstUnfitElement(c.values, "scale"), c.reason) << c.reason.value_or("fit");
    }
  }

} // namespace
