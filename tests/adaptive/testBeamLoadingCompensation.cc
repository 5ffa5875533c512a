// The beam loading compensation: the user tables with their swap flags, the pulse and beam timing in samples of
// 81.25 MHz / 9, and the limiter's cosines and sines; timing and angles that are not representable keep the
// previous outputs.
#include "AdaptiveStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace adaptivetest;

namespace {

  using Compensation = Running<CompensationApp>;

  const std::string timing = blc + "PulseShape/";
  const std::string phase = blc + "Limiter/Phase/";

  struct Timing {
    double delay, filling, flattop, beamStart, beamDuration;
  };

  void writeTiming(Compensation& c, const Timing& t) {
    c.test.writeScalar(pulseShape + "delay", t.delay);
    c.test.writeScalar(pulseShape + "fillingDuration", t.filling);
    c.test.writeScalar(pulseShape + "flattopDuration", t.flattop);
    c.test.writeScalar(pulseShape + "beamStart", t.beamStart);
    c.test.writeScalar(pulseShape + "beamDuration", t.beamDuration);
    c.test.stepApplication();
  }

  std::vector<std::uint32_t> samplesOf(Compensation& c) {
    return {c.read<std::uint32_t>(timing + "pulseStopAbsolute"), c.read<std::uint32_t>(timing + "beamStartAbsolute"),
        c.read<std::uint32_t>(timing + "beamStopAbsolute")};
  }

  TEST(BeamLoadingCompensation, TimingInSamplesIsTruncatedAndKeptInThirtyTwoBits) {
    struct Case {
      Timing times;
      std::vector<std::uint32_t> samples;
    };
    const Case cases[] = {
        {{10, 500, 800, 100, 600}, {11826, 5506, 10923}}, // 1310 f = 11826.39, 610 f = 5506.94 (not rounded)
        {{-20, 0, 0, 0, 0}, {4294967116U, 4294967116U, 4294967116U}}, // -180.55 truncates to -180
        {{0, 0, 0, 0, 0}, {0, 0, 0}},
    };
    for(const auto& c : cases) {
      Compensation compensation(1);
      compensation.test.runApplication();
      writeTiming(compensation, c.times);
      EXPECT_EQ(samplesOf(compensation), c.samples);
    }
  }

  TEST(BeamLoadingCompensation, ContinuousWaveModeMeansAPulseAndBeamWithoutEnd) {
    Compensation compensation(1);
    compensation.test.runApplication();
    writeTiming(compensation, {10, 500, 800, 100, 600});
    compensation.write<std::int32_t>(pulseShape + "cwMode", 1);
    EXPECT_EQ(samplesOf(compensation), (std::vector<std::uint32_t>{4294967295U, 0, 4294967295U}));
    compensation.write<std::int32_t>(pulseShape + "cwMode", 0);
    EXPECT_EQ(samplesOf(compensation), (std::vector<std::uint32_t>{11826, 5506, 10923}));
  }

  TEST(BeamLoadingCompensation, TimingWithoutASampleNumberKeepsThePreviousOutputsWithAWarning) {
    const double values[] = {std::nan(""), std::numeric_limits<double>::infinity(), 1e300, -1e300};
    for(double value : values) {
      SCOPED_TRACE(value);
      Compensation compensation(1);
      compensation.test.runApplication();
      writeTiming(compensation, {10, 500, 800, 100, 600});
      const auto writes = compensation.test.updateCount(timing + "beamStopAbsolute");
      const auto warnings = compensation.warnings();
      compensation.write(pulseShape + "beamDuration", value);
      EXPECT_EQ(samplesOf(compensation), (std::vector<std::uint32_t>{11826, 5506, 10923}));
      EXPECT_EQ(compensation.test.updateCount(timing + "beamStopAbsolute"), writes);
      compensation.test.stepApplication();
      EXPECT_EQ(compensation.warnings(), warnings + 1);
    }
  }

  TEST(BeamLoadingCompensation, EachNewTableTogglesOnlyItsOwnSwapFlag) {
    Compensation compensation(1);
    compensation.test.runApplication();
    // the initial tables count as the first ones
    EXPECT_TRUE(compensation.read<Boolean>(blc + "swapTableI"));
    EXPECT_TRUE(compensation.read<Boolean>(blc + "swapTableQ"));

    std::vector<std::int32_t> tableQ(16);
    for(std::size_t k = 0; k < tableQ.size(); ++k) tableQ[k] = std::int32_t(k) * 3 - 7;
    const auto writesI = compensation.test.updateCount(blc + "userTableI");
    const auto swapsI = compensation.test.updateCount(blc + "swapTableI");
    compensation.test.writeArray(blc + "UserTable/Q", tableQ);
    compensation.test.stepApplication();
    EXPECT_EQ(compensation.test.readArray<std::int32_t>(blc + "userTableQ"), tableQ);
    EXPECT_FALSE(compensation.read<Boolean>(blc + "swapTableQ"));
    EXPECT_TRUE(compensation.read<Boolean>(blc + "swapTableI"));
    EXPECT_EQ(compensation.test.updateCount(blc + "userTableI"), writesI);
    EXPECT_EQ(compensation.test.updateCount(blc + "swapTableI"), swapsI);

    std::vector<std::int32_t> tableI(16, 5);
    for(int table = 0; table < 2; ++table) {
      tableI[3] = table;
      compensation.test.writeArray(blc + "UserTable/I", tableI);
      compensation.test.stepApplication();
      EXPECT_EQ(compensation.test.readArray<std::int32_t>(blc + "userTableI"), tableI);
    }
    EXPECT_TRUE(compensation.read<Boolean>(blc + "swapTableI")); // two toggles: back where it was
    EXPECT_EQ(compensation.test.readArray<std::int32_t>(blc + "userTableQ"), tableQ);
  }

  TEST(BeamLoadingCompensation, LimiterTurnsAnglesIntoCosineAndSineAndKeepsThemForAnAngleThatIsNotFinite) {
    Compensation compensation(1);
    compensation.test.runApplication();
    compensation.write(phase + "max", 90.0);
    compensation.write(phase + "min", -30.0);
    EXPECT_EQ(compensation.read<float>(phase + "maxCosine"), float(std::cos(std::numbers::pi / 2)));
    EXPECT_NE(compensation.read<float>(phase + "maxCosine"), 0.F);
    EXPECT_EQ(compensation.read<float>(phase + "maxSine"), 1.F);
    EXPECT_FLOAT_EQ(compensation.read<float>(phase + "minCosine"), 0.8660254F);
    EXPECT_FLOAT_EQ(compensation.read<float>(phase + "minSine"), -0.5F);

    const auto warnings = compensation.warnings();
    compensation.write(phase + "max", std::numeric_limits<double>::infinity());
    compensation.write(phase + "min", 60.0);
    EXPECT_EQ(compensation.read<float>(phase + "maxSine"), 1.F);
    EXPECT_FLOAT_EQ(compensation.read<float>(phase + "minCosine"), 0.5F);
    compensation.write(phase + "min", std::nan(""));
    EXPECT_FLOAT_EQ(compensation.read<float>(phase + "minCosine"), 0.5F);
    EXPECT_GE(compensation.warnings(), warnings + 2);
  }

  TEST(BeamLoadingCompensation, TheRotationLiesBelowTheGroup) {
    Compensation compensation(1);
    compensation.test.runApplication();
    for(const char* name : {"scale", "angle", "performPhaseRotation", "sineTable", "cosineTable"}) {
      EXPECT_TRUE(compensation.app.getControlSystem().has(blc + "Rotation/" + name)) << name;
    }
    EXPECT_EQ(compensation.test.readArray<float>(blc + "Rotation/sineTable").size(), 1U);
  }

} // namespace
