// The set-point amplitude computations on hand-made indices and per-bunch
// views: the charging curve against the cavity's exponential computed here, its
// linear limit, the simulated filling and its refusal when it cannot reach the
// amplitude, the flat-top slope, and the per-bunch flat-top with its
// transitions, bounds and reports.
#include "TableGeneration/SetPointAmplitude.h"
#include "ConsistencyReports.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

  using testvalues::nan;

  using namespace TableGeneration;

  TEST(SetPointAmplitude, ChargingCurveFollowsTheCavitysExponential) {
    const double w = fieldDecayPerSample(1300, 9, 3e5, 0.5);
    EXPECT_DOUBLE_EQ(w, std::numbers::pi * 1300 / (9 * 3e5 * 0.5));
    std::vector<double> table(12, 0);
    chargingCurveFilling(table, 3, 9, 2.5, w);
    for(int i = 0; i < 12; ++i) {
      const double expected = i >= 3 && i < 9 ? 2.5 * (1 - std::exp(-(i - 3) * w)) / (1 - std::exp(-6 * w)) : 0;
      EXPECT_NEAR(table[i], expected, 1e-12) << i;
    }
    EXPECT_EQ(table[3], 0);
  }

  TEST(SetPointAmplitude, ChargingCurveWithoutDecayIsTheLinearLimit) {
    for(double w : {0.0, 1e-320}) {
      std::vector<double> table(6, 0);
      chargingCurveFilling(table, 1, 5, 2, w);
      EXPECT_EQ(table, (std::vector<double>{0, 0, 0.5, 1, 1.5, 0})) << w;
    }
    std::vector<double> table(4, 0);
    chargingCurveFilling(table, 0, 4, 2, std::numeric_limits<double>::infinity());
    EXPECT_EQ(table, (std::vector<double>{0, 2, 2, 2}));
  }

  TEST(SetPointAmplitude, SimulatedFillingEndsAtTheAmplitude) {
    const double w = 0.1;
    const std::vector<double> feedForward(10, 4.0);
    std::vector<double> table(10, 0);
    ASSERT_TRUE(simulatedFilling(table, feedForward, 2, 6, 1, 3.0, w));
    // the cavity driven by 4: x[i] = 2 w 4 + (1 - w) x[i - 1], scaled so that x[5] is 3
    std::vector<double> x(6, 0);
    for(int i = 3; i < 6; ++i) x[i] = 2 * w * 4 + (1 - w) * x[i - 1];
    for(int i = 3; i < 6; ++i) EXPECT_NEAR(table[i], x[i] * 3 / x[5], 1e-14) << i;
    EXPECT_EQ(table[2], 0);
    EXPECT_DOUBLE_EQ(table[5], 3.0);
  }

  TEST(SetPointAmplitude, SimulatedFillingWithoutDriveCannotReachTheAmplitude) {
    const std::vector<double> zero(10, 0.0);
    std::vector<double> table(10, 0);
    EXPECT_FALSE(simulatedFilling(table, zero, 2, 6, 0, 3.0, 0.1));
    // amplitude 0 needs no drive
    EXPECT_TRUE(simulatedFilling(table, zero, 2, 6, 0, 0.0, 0.1));
    EXPECT_EQ(table, zero);
    // the caller's fallback, the charging curve, stays finite
    chargingCurveFilling(table, 2, 6, 3.0, 0.1);
    for(double v : table) EXPECT_TRUE(std::isfinite(v));
    EXPECT_GT(table[5], 0);
  }

  TEST(SetPointAmplitude, FlatTopSlopeEndsOneStepShort) {
    std::vector<double> table(8, 0);
    setPointFlattopAmplitude(table, 2, 6, 1.0, 2.0);
    EXPECT_EQ(table, (std::vector<double>{0, 0, 1, 1.5, 2, 2.5, 0, 0}));
  }

  /// Two beam regions of bunches 1-2 and 5-6, transitions 0, 3-4 and 7 onwards;
  /// bunch b at sample 2 + b.
  struct PerBunch {
    std::vector<double> amplitude{1, 2, 2, 9, 9, 4, 4, 9, 9, 9};
    std::vector<double> phase{0, 10, 10, 0, 0, 170, 170, 0, 0, 0};
    std::vector<std::uint32_t> startIndexBeam{1, 5};
    std::vector<std::uint32_t> startIndexTransition{0, 3, 7};
    PerBunchFlattop view() const { return {true, 2, amplitude, phase, 2, 3, startIndexBeam, startIndexTransition}; }
  };

  using tablegenerationtest::Reports;

  TEST(SetPointAmplitude, PerBunchFlatTopJoinsTheRegionsByHalfSines) {
    PerBunch pb;
    std::vector<double> amplitude(14, -1), phase(14, -1);
    Reports reports;
    perBunchSetPointFlattop(amplitude, phase, 1, 12, 5.0, 50.0, pb.view(), reports.callback());
    EXPECT_TRUE(reports.lines.empty());
    // scalar before the first bunch (samples 1), the first transition holds the sample before it (bunch 0 at 2)
    EXPECT_EQ(amplitude[0], -1);
    EXPECT_EQ(amplitude[1], 5.0);
    EXPECT_EQ(phase[1], 50.0);
    EXPECT_EQ(amplitude[2], 5.0);
    // beam regions
    for(int s : {3, 4}) EXPECT_EQ(amplitude[s], 2.0) << s;
    for(int s : {7, 8}) EXPECT_EQ(phase[s], 170.0) << s;
    // transition bunches 3-4 (samples 5, 6) from 2 at 10 degrees to 4 at 170 degrees, a half sine over L = 3
    for(int k = 1; k <= 2; ++k) {
      const double f = 0.5 + 0.5 * std::sin((k / 3.0 - 0.5) * std::numbers::pi);
      EXPECT_NEAR(amplitude[4 + k], 2 + 2 * f, 1e-14) << k;
      EXPECT_NEAR(phase[4 + k], 10 + 160 * f, 1e-12) << k;
    }
    // the last transition holds the last beam value up to the decay begin, nothing at or after it
    for(int s : {9, 10, 11}) EXPECT_EQ(amplitude[s], 4.0) << s;
    EXPECT_EQ(amplitude[12], -1);
    EXPECT_EQ(amplitude[13], -1);
  }

  TEST(SetPointAmplitude, PerBunchValuesStopAtTheDecayBegin) {
    PerBunch pb;
    std::vector<double> amplitude(14, -1), phase(14, -1);
    Reports reports;
    // the decay begins inside the second beam region (bunch 5 at sample 7)
    perBunchSetPointFlattop(amplitude, phase, 1, 8, 5.0, 50.0, pb.view(), reports.callback());
    EXPECT_EQ(amplitude[7], 4.0);
    for(int s = 8; s < 14; ++s) EXPECT_EQ(amplitude[s], -1) << s;
    // a decay begin before the first bunch: the last transition's end is negative, no ramp, no bunch
    std::vector<double> early(14, -1), earlyPhase(14, -1);
    perBunchSetPointFlattop(early, earlyPhase, 0, 1, 5.0, 50.0, pb.view(), reports.callback());
    EXPECT_EQ(early[0], 5.0);
    for(int s = 1; s < 14; ++s) EXPECT_EQ(early[s], -1) << s;
    EXPECT_TRUE(reports.lines.empty());
  }

  TEST(SetPointAmplitude, NonFinitePerBunchValuesAreReportedAndTakenAsZero) {
    PerBunch pb;
    pb.amplitude[2] = nan;
    pb.phase[5] = std::numeric_limits<double>::infinity();
    std::vector<double> amplitude(14, -1), phase(14, -1);
    Reports reports;
    perBunchSetPointFlattop(amplitude, phase, 1, 12, 5.0, 50.0, pb.view(), reports.callback());
    EXPECT_EQ(amplitude[4], 0.0);
    EXPECT_EQ(phase[7], 0.0);
    // the beam values (227, 228) and the second transition's target phase (264)
    EXPECT_EQ(reports.lines, (std::vector<int>{227, 228, 264}));
    for(double v : amplitude) EXPECT_TRUE(std::isfinite(v));
    for(double v : phase) EXPECT_TRUE(std::isfinite(v));
  }

} // namespace
