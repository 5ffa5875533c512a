// The gain table's arithmetic without the framework: sample indices from the pulse timing (each product
// truncated on its own, saturating, sums in 64 bits, a product that is not a number below every limit) and the
// pulsed table with and without a sine or linear ramp.
#include "GainSchedule.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

  using testvalues::nan;
  using testvalues::inf;
  using testvalues::int32Max;
  using testvalues::int32Min;


  TEST(GainSchedule, TimeTimesSamplingFrequencyIsTruncatedTowardZeroAndSaturates) {
    struct Case {
      double time, fs;
      std::int32_t samples;
    };
    const Case cases[] = {{10, 1, 10}, {2.9, 1, 2}, {-2.9, 1, -2}, {1.5, 3, 4}, {5, 0, 0}, {1e12, 1, int32Max},
        {-1e12, 1, int32Min}, {inf, 1, int32Max}, {-inf, 2, int32Min}, {nan, 1, int32Min}, {inf, 0, int32Min},
        {1, nan, int32Min}};
    for(const auto& c : cases) {
      EXPECT_EQ(GainSchedule::samples(c.time, c.fs), c.samples) << c.time << " us at " << c.fs << " MHz";
    }
  }

  TEST(GainSchedule, IndicesTruncateEachProductBeforeTheSums) {
    // fs 1.5: delay 3.5 -> 5, gain delay -1.5 -> -2 (toward zero), flat-top end (3.5 + 2 + 1) x 1.5 = 9.75 -> 9,
    // start 2 -> 3, stop 4.9 -> 7
    const auto indices = GainSchedule::indices({1.5, 3.5, 2, 1, -1.5, 2, 4.9});
    EXPECT_EQ(indices.delay, 5 - 2);
    EXPECT_EQ(indices.flattopEnd, 9 - 2);
    EXPECT_EQ(indices.start, 3 + 5 - 2);
    EXPECT_EQ(indices.stop, 7 + 5 - 2);
  }

  TEST(GainSchedule, IndexSumsSaturateInsteadOfWrapping) {
    // each product alone fits 32 bits; their 32-bit sum would wrap to a small or negative index
    const auto high = GainSchedule::indices({1, 2e9, 0, 0, 2e9, 2e9, 2e9});
    EXPECT_EQ(high.delay, int32Max);
    EXPECT_EQ(high.flattopEnd, int32Max);
    EXPECT_EQ(high.start, int32Max);
    EXPECT_EQ(high.stop, int32Max);
    const auto low = GainSchedule::indices({1, -2e9, 0, 0, -2e9, -2e9, -2e9});
    EXPECT_EQ(low.delay, int32Min);
    EXPECT_EQ(low.start, int32Min);
    // a time that is not a number gives an index below 0
    EXPECT_LT(GainSchedule::indices({1, 10, 5, 5, nan, 0, 0}).delay, 0);
  }

  TEST(GainSchedule, PulsedTableWithoutRampHoldsTheMagnitudeFromPulseStartToFlattopEnd) {
    // pulse length 100, delay 10 us, filling 5 us, flat-top 5 us, fs 1 MHz, magnitude 2: entries 10 to 19
    const auto indices = GainSchedule::indices({1, 10, 5, 5, 0, 0, 0});
    std::vector<double> table(100, -1);
    GainSchedule::fillPulsed(table, indices, 0, 2);
    for(std::size_t k = 0; k < table.size(); ++k) EXPECT_EQ(table[k], k >= 10 && k < 20 ? 2 : 0) << k;
  }

  TEST(GainSchedule, RampsStartAtZeroBelowTheMagnitudeAndHoldItFromTheStopToTheFlattopEnd) {
    // pulse from 10 to 20, ramp from 12 to 16 (N = 4), magnitude 1
    const GainSchedule::Indices indices{10, 20, 12, 16};
    std::vector<double> linear(24, -1);
    GainSchedule::fillPulsed(linear, indices, 2, 1);
    const std::vector<double> expected{
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0.25, 0.5, 0.75, 1, 1, 1, 1, 0, 0, 0, 0};
    EXPECT_EQ(linear, expected);

    std::vector<double> sine(24, -1);
    GainSchedule::fillPulsed(sine, indices, 1, 3);
    for(std::size_t k = 0; k < sine.size(); ++k) {
      double want = 0;
      if(k >= 12 && k < 16) want = std::sin(std::numbers::pi / 2 * static_cast<double>(k - 12) / 4) * 3;
      if(k >= 16 && k < 20) want = 3;
      EXPECT_DOUBLE_EQ(sine[k], want) << k;
    }
    EXPECT_EQ(sine[12], 0);
    EXPECT_LT(sine[15], 3);
  }

  TEST(GainSchedule, AnUnknownFunctionOrAnEmptyRampDrawsNoRamp) {
    for(const auto& [function, indices] : {std::pair{3, GainSchedule::Indices{2, 8, 3, 5}},
            std::pair{1, GainSchedule::Indices{2, 8, 5, 5}}, std::pair{2, GainSchedule::Indices{2, 8, 6, 4}}}) {
      std::vector<double> table(10, -1);
      GainSchedule::fillPulsed(table, indices, function, 1);
      for(std::size_t k = 0; k < table.size(); ++k) {
        const auto index = static_cast<std::int32_t>(k);
        EXPECT_EQ(table[k], index >= indices.stop && index < indices.flattopEnd ? 1 : 0)
            << "function " << function << ", entry " << k;
      }
    }
  }

} // namespace
