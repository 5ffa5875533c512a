// A channel's effective sample index: its offset in samples, rounded half away from zero, added to the
// global index and kept inside the channel's arrays.
#include "SampleIndex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(SampleIndex, OffsetInSamplesRoundsHalfAwayFromZero) {
  struct Case {
    double microseconds, megahertz;
    int64_t samples;
  };
  const Case cases[] = {{0.5, 9.0, 5}, {-0.5, 9.0, -5}, {0.0, 9.0, 0}, {1.0 / 9.0, 9.0, 1}, {0.4, 9.0, 4},
      {-0.4, 9.0, -4}, {0.05, 9.0, 0}, {2.5, 1.0, 3}, {-2.5, 1.0, -3}, {100.0, 1.3, 130}};
  for(const auto& c : cases) {
    EXPECT_EQ(SampleIndex::offsetInSamples(c.microseconds, c.megahertz), c.samples)
        << c.microseconds << " us at " << c.megahertz << " MHz";
  }
}

TEST(SampleIndex, OffsetsThatAreNotFiniteAreRefused) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_FALSE(SampleIndex::offsetInSamples(nan, 9.0));
  EXPECT_FALSE(SampleIndex::offsetInSamples(1.0, inf));
  EXPECT_FALSE(SampleIndex::offsetInSamples(1e200, 1e200));
  // Huge but finite offsets stay representable and end up at an array edge.
  const auto huge = SampleIndex::offsetInSamples(-1e100, 9.0);
  ASSERT_TRUE(huge);
  EXPECT_EQ(SampleIndex::effectiveIndex(500, *huge, 1000), 0U);
}

TEST(SampleIndex, EffectiveIndexStaysInsideTheArrays) {
  struct Case {
    uint32_t index;
    int64_t offset;
    std::size_t length;
    uint32_t expected;
  };
  const Case cases[] = {
      {100, -5, 1000, 95},
      {100, 0, 1000, 100},
      {100, 5, 1000, 105},
      {2, -5, 1000, 0},     // would wrap to 4294967293 in 32-bit arithmetic
      {998, 5, 1000, 999},  // would pass the end
      {999, 0, 1000, 999},
      {5000, 0, 1000, 999}, // a global index beyond a shorter array
      {0, 0, 1, 0},
      {7, 3, 0, 0},         // no samples at all
      {std::numeric_limits<uint32_t>::max(), std::numeric_limits<int64_t>::max(), 16384, 16383},
      {0, std::numeric_limits<int64_t>::min(), 16384, 0},
  };
  for(const auto& c : cases) {
    EXPECT_EQ(SampleIndex::effectiveIndex(c.index, c.offset, c.length), c.expected)
        << c.index << " + " << c.offset << " in " << c.length;
  }
}
