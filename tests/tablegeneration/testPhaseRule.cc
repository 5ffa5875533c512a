// The phase of one table sample: continuous wave, frequency ramp, filling delta
// and flat-top slope, the exponential modulation inside its window (with its
// limits on the time constant), the wrap into
// [-180, 180], and non-finite intermediate results, which are reported and
// repaired.
#include "TableGeneration/PhaseRule.h"
#include "ConsistencyReports.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

  using testvalues::nan;
  using testvalues::inf;

  using namespace TableGeneration;

  using tablegenerationtest::Reports;

  /// Flat-top from 20 to 40 (exclusive), nothing else switched on.
  PhaseRuleInputs plain() {
    PhaseRuleInputs in;
    in.phase = 30;
    in.samplingFrequency = 1;
    in.flattopBegin = 20;
    in.flattopEnd = 40;
    in.window = {10, 20};
    return in;
  }

  double phase(const PhaseRuleInputs& in, std::int32_t i) {
    Reports reports;
    const double p = phaseOfSample(in, i, reports.callback());
    EXPECT_TRUE(reports.lines.empty()) << "sample " << i;
    return p;
  }

  TEST(PhaseRule, ContinuousWaveReturnsTheSetPointPhaseUnwrapped) {
    auto in = plain();
    in.cwMode = 1;
    in.phase = 200;
    in.phaseFillingDelta = 10;
    in.phaseSlope = 5;
    in.frequencyModulation = true;
    in.frequencyOffset = 1;
    in.functionSelect = 1;
    in.maximumPhaseOffset = 10;
    for(std::int32_t i : {0, 15, 30, 50}) EXPECT_EQ(phase(in, i), 200.0) << i;
  }

  TEST(PhaseRule, FillingDeltaBeforeTheFlatTopAndTheSlopeAcrossIt) {
    auto in = plain();
    in.phaseFillingDelta = 10;
    in.phaseSlope = 4;
    struct Case {
      std::int32_t i;
      double expected;
    };
    for(const auto& c : std::vector<Case>{{0, 40}, {19, 40}, {20, 30}, {30, 32}, {39, 33.8}, {40, 34}, {60, 34}}) {
      EXPECT_DOUBLE_EQ(phase(in, c.i), c.expected) << c.i;
    }
    // a flat-top that ends before it begins: between the two, delta and slope
    // together
    in.flattopBegin = 30;
    in.flattopEnd = 25;
    EXPECT_DOUBLE_EQ(phase(in, 27), 44);
    EXPECT_DOUBLE_EQ(phase(in, 24), 40);
    EXPECT_DOUBLE_EQ(phase(in, 31), 34);
  }

  TEST(PhaseRule, FrequencyOffsetRampsFromTheFeedForwardFillingStart) {
    auto in = plain();
    in.phase = 0;
    in.flattopBegin = 0; // no delta
    in.flattopEnd = 0;
    in.frequencyModulation = true;
    in.frequencyOffset = 1; // kHz
    in.samplingFrequency = 9; // MHz: 0.04 degrees per sample
    in.ffFillingBegin = 10;
    EXPECT_NEAR(phase(in, 10), 0.0, 1e-12);
    EXPECT_NEAR(phase(in, 11), 0.04, 1e-12);
    EXPECT_NEAR(phase(in, 35), 1.0, 1e-12);
    EXPECT_NEAR(phase(in, 5), -0.2, 1e-12);
    in.frequencyModulation = false;
    EXPECT_EQ(phase(in, 35), 0.0);
  }

  TEST(PhaseRule, ExponentialModulationFallsFromMinusTheOffsetToZeroAcrossItsWindow) {
    auto in = plain();
    in.phase = 0;
    in.flattopBegin = 0;
    in.flattopEnd = 0;
    in.functionSelect = 1;
    in.maximumPhaseOffset = 10;
    in.timeConstant = 4;
    EXPECT_DOUBLE_EQ(phase(in, 5), -10);
    EXPECT_NEAR(phase(in, 10), -10, 1e-12);
    // the formula with exp: -(M / (1 - E)) (exp(-x/tau) - E)
    const double e = std::exp(-10.0 / 4.0);
    EXPECT_NEAR(phase(in, 13), -(10 / (1 - e)) * (std::exp(-3.0 / 4.0) - e), 1e-12);
    EXPECT_NEAR(phase(in, 20), 0, 1e-12);
    EXPECT_EQ(phase(in, 21), 0);
    // any select but 1 switches it off
    for(std::int32_t select : {0, 2, -1}) {
      in.functionSelect = select;
      EXPECT_EQ(phase(in, 5), 0) << select;
      EXPECT_EQ(phase(in, 13), 0) << select;
    }
  }

  TEST(PhaseRule, LimitsOfTheWindowAndOfTheTimeConstant) {
    auto in = plain();
    in.phase = 0;
    in.flattopBegin = 0;
    in.flattopEnd = 0;
    in.functionSelect = 1;
    in.maximumPhaseOffset = 10;
    // a window of one sample counts as one sample long
    in.window = {15, 15};
    in.timeConstant = 2;
    EXPECT_NEAR(phase(in, 15), -10, 1e-12);
    EXPECT_EQ(phase(in, 16), 0);
    // time constant 0: a step right after the first sample
    in.window = {10, 20};
    in.timeConstant = 0;
    EXPECT_NEAR(phase(in, 10), -10, 1e-12);
    EXPECT_NEAR(phase(in, 11), 0, 1e-12);
    // a negative time constant rises, its ratio limited to -500 (still finite)
    in.timeConstant = -1e-6;
    EXPECT_NEAR(phase(in, 10), -10, 1e-9);
    EXPECT_NEAR(phase(in, 20), 0, 1e-9);
    EXPECT_TRUE(std::isfinite(phase(in, 19)));
    // NaN time constant: taken as the step
    in.timeConstant = nan;
    EXPECT_NEAR(phase(in, 11), 0, 1e-12);
  }

  TEST(PhaseRule, ATimeConstantTooLongForOneMinusEGivesTheLinearLimit) {
    auto in = plain();
    in.phase = 0;
    in.flattopBegin = 0;
    in.flattopEnd = 0;
    in.functionSelect = 1;
    in.maximumPhaseOffset = 10;
    in.window = {10, 20};
    for(double tau : {1e300, inf}) {
      in.timeConstant = tau; // 1 - exp(-10 / tau) rounds to 0
      EXPECT_NEAR(phase(in, 10), -10, 1e-9) << tau;
      EXPECT_NEAR(phase(in, 15), -5, 1e-9) << tau;
      EXPECT_NEAR(phase(in, 20), 0, 1e-9) << tau;
    }
    // long but representable: close to the line as well
    in.timeConstant = 1e17;
    EXPECT_NEAR(phase(in, 15), -5, 1e-6);
  }

  TEST(PhaseRule, PhasesWrapIntoTheClosedRangeAndHugeOnesTerminate) {
    auto in = plain();
    in.phase = 179;
    in.phaseSlope = 4;
    EXPECT_DOUBLE_EQ(phase(in, 40), -177);
    in.phaseSlope = 0;
    in.phase = 180;
    EXPECT_DOUBLE_EQ(phase(in, 40), 180);
    in.phase = -180;
    EXPECT_DOUBLE_EQ(phase(in, 40), -180);
    in.phase = 1e300;
    const double p = phase(in, 40);
    EXPECT_TRUE(p >= -180 && p <= 180) << p;
  }

  TEST(PhaseRule, ANonFinitePhaseIsReportedAndBecomesZero) {
    for(double bad : {nan, inf, -inf}) {
      auto in = plain();
      in.phase = bad;
      Reports reports;
      EXPECT_EQ(phaseOfSample(in, 30, reports.callback()), 0.0) << bad;
      EXPECT_EQ(reports.lines, std::vector<int>{74}) << bad;
    }
    // an infinite frequency offset as well
    auto in = plain();
    in.frequencyModulation = true;
    in.frequencyOffset = inf;
    Reports reports;
    EXPECT_EQ(phaseOfSample(in, 30, reports.callback()), 0.0);
    EXPECT_EQ(reports.lines, std::vector<int>{74});
  }

} // namespace
