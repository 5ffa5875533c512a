// Placement of the averaging windows: flat-top bounds from the pulse shape and the window from its settings.
#include "OutputVectorCorrection/WindowPlacement.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

  using namespace OutputVectorCorrection;

  constexpr std::uint32_t longPulse = 16384;
  const PulseTiming exampleTiming{9.0, 50.0, 500.0, 650.0};

  TEST(WindowPlacement, FlattopBoundsOfTheExamplePulse) {
    auto b = flattopBounds(exampleTiming, longPulse);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->pulseStart, 450u);
    EXPECT_EQ(b->flattopStart, 4950u);
    EXPECT_EQ(b->lastUsable, 10797u); // flat-top end 10800 minus 3
  }

  struct WindowCase {
    const char* what;
    WindowSettings settings;
    std::uint64_t start, end, minimum, maximum;
  };

  class WindowCases : public testing::TestWithParam<WindowCase> {};

  TEST_P(WindowCases, PublishesTheExpectedSamples) {
    const auto& c = GetParam();
    auto w = placeWindow(*flattopBounds(exampleTiming, longPulse), c.settings, longPulse);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->start, c.start);
    EXPECT_EQ(w->end, c.end);
    EXPECT_EQ(w->minimum, c.minimum);
    EXPECT_EQ(w->maximum, c.maximum);
    EXPECT_FALSE(w->outOfRange());
  }

  INSTANTIATE_TEST_SUITE_P(OVC, WindowCases,
      testing::Values(WindowCase{"EndOfFlattopEndingThere", {1, 1, 0, 100}, 10698, 10797, 4950, 16383},
          WindowCase{"FlattopStartBeginningThere", {0, 0, 10, 50}, 4960, 5009, 450, 10797},
          WindowCase{"CentredEvenLength", {0, 2, 50, 4}, 4999, 5002, 450, 10797},
          WindowCase{"CentredOddLength", {0, 2, 50, 5}, 4998, 5002, 450, 10797}),
      [](const testing::TestParamInfo<WindowCase>& info) { return std::string(info.param.what); });

  TEST(WindowPlacement, AStartBelowZeroWrapsAndIsPastTheEnd) {
    auto w = placeWindow(*flattopBounds(exampleTiming, longPulse), {0, 1, -4850, 200}, longPulse);
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->startPastEnd());
    EXPECT_TRUE(w->outOfRange());
  }

  TEST(WindowPlacement, AWindowTooLongOnBothSidesBreaksBothBounds) {
    auto w = placeWindow(*flattopBounds(exampleTiming, longPulse), {1, 2, 0, 13000}, longPulse);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->startPastEnd());
    EXPECT_TRUE(w->endPastMaximum());
    EXPECT_TRUE(w->startBeforeMinimum());
  }

  TEST(WindowPlacement, AnUnknownPointOfInterestPlacesNothing) {
    EXPECT_FALSE(placeWindow(*flattopBounds(exampleTiming, longPulse), {0, 3, 0, 1}, longPulse));
  }

  // A flat-top whose last usable sample is the pulse length itself: the pulse shape is accepted, but no window
  // may end on that sample, which lies past the pulse.
  TEST(WindowPlacement, TheEndIndexNeverReachesThePulseLength) {
    const std::uint32_t n = 100;
    const PulseTiming t{1.0, 10.0, 20.0, 73.0}; // flat-top 30 .. 103, last usable 100
    auto b = flattopBounds(t, n);
    ASSERT_TRUE(b);
    ASSERT_EQ(b->lastUsable, n);
    for(std::int32_t offset = 60; offset <= 75; ++offset) {
      auto w = placeWindow(*b, {0, 0, offset, 10}, n);
      ASSERT_TRUE(w);
      if(!w->outOfRange()) {
        EXPECT_LT(w->end, n) << "offset " << offset;
      }
    }
    EXPECT_TRUE(placeWindow(*b, {0, 0, 61, 10}, n)->endPastMaximum()); // would end on sample 100
    EXPECT_FALSE(placeWindow(*b, {0, 0, 60, 10}, n)->outOfRange());    // ends on sample 99
  }

  struct BadTiming {
    const char* what;
    PulseTiming timing;
  };

  class InvalidFlattops : public testing::TestWithParam<BadTiming> {};

  TEST_P(InvalidFlattops, AreNoFlattop) { EXPECT_FALSE(flattopBounds(GetParam().timing, longPulse)); }

  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  constexpr double inf = std::numeric_limits<double>::infinity();

  INSTANTIATE_TEST_SUITE_P(OVC, InvalidFlattops,
      testing::Values(BadTiming{"FlattopOfTwoSamples", {1.0, 10.0, 20.0, 2.0}},
          BadTiming{"FlattopPastThePulse", {9.0, 50.0, 500.0, 2000.0}},
          BadTiming{"NegativeDelay", {1.0, -40.0, 20.0, 20.0}},
          BadTiming{"FlattopBeforeThePulse", {1.0, 5.0, -20.0, 40.0}},
          BadTiming{"NaNDuration", {1.0, 10.0, nan, 20.0}}, BadTiming{"InfiniteDuration", {1.0, 10.0, 20.0, inf}},
          BadTiming{"NaNSamplingFrequency", {nan, 10.0, 20.0, 20.0}},
          BadTiming{"InfiniteSamplingFrequency", {inf, 10.0, 20.0, 20.0}},
          BadTiming{"HugeTimes", {1.0, 1e30, 1e30, 1e30}}),
      [](const testing::TestParamInfo<BadTiming>& info) { return std::string(info.param.what); });

} // namespace
