// The pulse in samples: the published pulse indices and the derived table
// indices for a table of cases, the consistency checks that repair an index,
// and times far beyond any pulse, which saturate instead of overflowing.
#include "TableGeneration/PulseIndices.h"
#include "ConsistencyReports.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace {

  using testvalues::nan;
  using testvalues::inf;

  using namespace TableGeneration;

  using tablegenerationtest::Reports;

  PulseTiming example() {
    PulseTiming t;
    t.samplingFrequency = 1.0;
    t.delay = 10.0;
    t.fillingDuration = 5.5;
    t.flattopDuration = 3.2;
    return t;
  }

  TEST(PulseIndices, ThePulseIndicesOfTheTimingWithFloorForStartsAndCeilForTheEnd) {
    struct Case {
      double fs, delay, filling, flattop;
      std::int32_t fillingStart, flattopStart, decayStart;
    };
    const Case cases[] = {{1, 10, 5.5, 3.2, 10, 15, 19}, {2, 10, 5.5, 3.2, 20, 31, 38}, {1, 0, 0, 1, 0, 0, 1},
        {9, 1.05, 2, 3, 9, 27, 55}, {1, 0.5, 0.4, 0.05, 0, 0, 1}};
    for(const auto& c : cases) {
      auto t = example();
      t.samplingFrequency = c.fs;
      t.delay = c.delay;
      t.fillingDuration = c.filling;
      t.flattopDuration = c.flattop;
      Reports reports;
      const auto r = computePulseIndices(t, 100, reports.callback());
      EXPECT_EQ(r.fillingStart, c.fillingStart) << c.fs << " " << c.delay;
      EXPECT_EQ(r.flattopStart, c.flattopStart) << c.fs << " " << c.delay;
      EXPECT_EQ(r.decayStart, c.decayStart) << c.fs << " " << c.delay;
      EXPECT_TRUE(reports.lines.empty());
      // without delays the tables start with the pulse
      EXPECT_EQ(r.table.ffFillingBegin, c.fillingStart);
      EXPECT_EQ(r.table.spFlattopBegin, c.flattopStart);
      EXPECT_EQ(r.table.spDecayBegin, c.decayStart);
    }
  }

  TEST(PulseIndices, AFlatTopTooShortToCountEndsOneSampleAfterItsStartAndIsReported) {
    auto t = example();
    t.delay = 10;
    t.fillingDuration = 5;
    t.flattopDuration = 1e-16; // does not change 15.0 in double arithmetic
    Reports reports;
    const auto r = computePulseIndices(t, 100, reports.callback());
    EXPECT_EQ(r.flattopStart, 15);
    EXPECT_EQ(r.decayStart, 16);
    EXPECT_EQ(reports.lines, std::vector<int>{58});
  }

  TEST(PulseIndices, DerivedIndicesFollowDelaysAndSmoothingAndStayInsideTheTable) {
    struct Case {
      const char* what;
      double ffDelay, spDelay;
      std::int32_t riseFunction, stepFunction, fallFunction;
      double riseTime, stepTime, fallTime;
      bool smooth;
      TableIndices expected;
    };
    // the example pulse: filling 10, flat-top 15, decay 19, in a table of 30
    // samples
    const Case cases[] = {
        {"no delays", 0, 0, 0, 0, 0, 0, 0, 0, false, {0, 0, 0, 0, 0, 10, 10, 15, 15, 19, 19, 10, 15, 19}},
        {"rise off despite a time", 0, 0, 0, 0, 0, 7, 0, 0, false, {0, 0, 0, 0, 0, 10, 10, 15, 15, 19, 19, 10, 15, 19}},
        {"edges", 0, 0, 1, 1, 2, 2, 3, 4, false, {0, 0, 2, 3, 4, 10, 12, 12, 18, 19, 23, 10, 15, 19}},
        {"smoothed set-point", 0, 0, 0, 1, 0, 0, 3, 0, true, {0, 0, 0, 3, 0, 10, 10, 12, 18, 19, 19, 10, 18, 19}},
        {"negative feed-forward delay", -12, 0, 0, 0, 0, 0, 0, 0, false,
            {-12, 0, 0, 0, 0, 0, 0, 3, 3, 7, 7, 10, 15, 19}},
        {"large delays stop at the last sample", 100, 13, 1, 0, 1, 5, 0, 5, false,
            {100, 13, 5, 0, 5, 29, 29, 29, 29, 29, 29, 23, 28, 29}},
        {"delays of half a sample round away from zero", 2.5, -2.5, 0, 0, 0, 0, 0, 0, false,
            {3, -3, 0, 0, 0, 13, 13, 18, 18, 22, 22, 7, 12, 16}},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(c.what);
      auto t = example();
      t.feedForwardDelay = c.ffDelay;
      t.setPointDelay = c.spDelay;
      t.riseFunction = c.riseFunction;
      t.stepFunction = c.stepFunction;
      t.fallFunction = c.fallFunction;
      t.riseTime = c.riseTime;
      t.stepTime = c.stepTime;
      t.fallTime = c.fallTime;
      t.setPointSmoothEnable = c.smooth;
      Reports reports;
      const auto r = computePulseIndices(t, 30, reports.callback()).table;
      const auto& e = c.expected;
      const std::vector<std::int32_t> got{r.ffDelaySamples, r.spDelaySamples, r.riseSamples, r.stepSamples,
          r.fallSamples, r.ffFillingBegin, r.ffRiseEnd, r.ffStepBegin, r.ffStepEnd, r.ffDecayBegin, r.ffFallEnd,
          r.spFillingBegin, r.spFlattopBegin, r.spDecayBegin};
      const std::vector<std::int32_t> want{e.ffDelaySamples, e.spDelaySamples, e.riseSamples, e.stepSamples,
          e.fallSamples, e.ffFillingBegin, e.ffRiseEnd, e.ffStepBegin, e.ffStepEnd, e.ffDecayBegin, e.ffFallEnd,
          e.spFillingBegin, e.spFlattopBegin, e.spDecayBegin};
      EXPECT_EQ(got, want);
    }
  }

  TEST(PulseIndices, ThePublishedDecayStartIsNotClampedInPulsedMode) {
    auto t = example();
    const auto r = computePulseIndices(t, 12, Reports{}.callback());
    EXPECT_EQ(r.decayStart, 19);
    EXPECT_EQ(r.table.spDecayBegin, 11);
  }

  TEST(PulseIndices, ModulationWindowsLieRelativeToTheirTablesFillingAndSaturateForAnyTime) {
    struct Case {
      double start, stop;
      ModulationWindow window; // relative to the set-point filling at 10 in a table of 30
    };
    const Case cases[] = {{0, 5, {10, 15}}, {-20, 2.4, {0, 12}}, {1e300, -1e300, {29, 0}}, {inf, -inf, {29, 0}},
        {nan, 3e9, {10, 29}}, {2147483647.0, -2147483648.0, {29, 0}}};
    for(const auto& c : cases) {
      auto t = example();
      t.setPointModulationStart = c.start;
      t.setPointModulationStop = c.stop;
      t.feedForwardDelay = 4;
      t.feedForwardModulationStart = c.start;
      t.feedForwardModulationStop = c.stop;
      const auto r = computePulseIndices(t, 30, Reports{}.callback());
      EXPECT_EQ(r.setPointModulation, c.window) << c.start << " " << c.stop;
      // the feed-forward window starts from its own filling, 4 samples later, and
      // is clamped the same way
      const ModulationWindow ff{std::min(c.window.start == 0 ? 0 : c.window.start + 4, 29),
          std::min(c.window.stop == 0 ? 0 : c.window.stop + 4, 29)};
      EXPECT_EQ(r.feedForwardModulation, ff) << c.start << " " << c.stop;
    }
  }

  TEST(PulseIndices, ContinuousWaveMakesTheWholeTableFlatTopWhateverTheTimes) {
    auto t = example();
    t.cwMode = 1;
    t.feedForwardDelay = 5;
    t.setPointDelay = 3;
    t.stepFunction = 1;
    t.stepTime = 2;
    t.setPointModulationStart = 3;
    t.setPointModulationStop = 8;
    Reports reports;
    const auto r = computePulseIndices(t, 30, reports.callback());
    EXPECT_EQ(r.fillingStart, 0);
    EXPECT_EQ(r.flattopStart, 0);
    EXPECT_EQ(r.decayStart, 30);
    const auto& x = r.table;
    EXPECT_EQ(
        (std::vector<std::int32_t>{x.ffDelaySamples, x.spDelaySamples, x.riseSamples, x.stepSamples, x.fallSamples,
            x.ffFillingBegin, x.ffRiseEnd, x.ffStepBegin, x.ffStepEnd, x.spFillingBegin, x.spFlattopBegin}),
        std::vector<std::int32_t>(11, 0));
    EXPECT_EQ(x.ffDecayBegin, 30);
    EXPECT_EQ(x.ffFallEnd, 30);
    EXPECT_EQ(x.spDecayBegin, 30);
    EXPECT_EQ(r.setPointModulation, ModulationWindow{});
    EXPECT_EQ(r.feedForwardModulation, ModulationWindow{});
    EXPECT_TRUE(reports.lines.empty());
  }

} // namespace
