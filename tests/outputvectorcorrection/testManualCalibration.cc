// Operator writes of the output calibration and the flat-top ratio: limited, refused while the algorithm that
// owns the value is on, and refused (set back) when they are not numbers.
#include "OvcStation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

  using namespace ovctest;
  using Corvane::Boolean;

  TEST(ManualCalibration, StartUpCopiesTheManualValuesToTheController) {
    Station s;
    s.test.setScalarDefault<double>(path::manualScale, 0.7);
    s.test.setScalarDefault<double>(path::manualAngle, 12.0);
    s.test.setScalarDefault<double>(path::manualRatio, 1.1);
    s.run();
    EXPECT_DOUBLE_EQ(s.read(path::scale), 0.7);
    EXPECT_DOUBLE_EQ(s.read(path::angle), 12.0);
    EXPECT_DOUBLE_EQ(s.read(path::ratio), 1.1);
    EXPECT_EQ(s.status(), Corvane::StatusOutput::OK);
  }

  struct ScaleCase {
    double written;
    double expected;
  };

  std::string scaleCaseName(const ScaleCase& c) {
    if(c.expected < c.written) return "AboveMaximum";
    if(c.expected > c.written) return "BelowMinimum";
    return "WithinLimits";
  }

  class ManualScale : public testing::TestWithParam<ScaleCase> {};

  TEST_P(ManualScale, IsClampedToTheTotalScalingLimits) {
    Station s;
    s.run();
    s.write<double>(path::manualScale, GetParam().written);
    EXPECT_DOUBLE_EQ(s.read(path::scale), GetParam().expected);
    EXPECT_DOUBLE_EQ(s.read(path::manualScale), GetParam().expected);
  }

  INSTANTIATE_TEST_SUITE_P(
      OVC, ManualScale, testing::Values(ScaleCase{3.0, 2.0}, ScaleCase{0.01, 0.1}, ScaleCase{1.5, 1.5}),
      [](const testing::TestParamInfo<ScaleCase>& info) { return scaleCaseName(info.param); });

  TEST(ManualCalibration, RatioIsLimitedSoThatTheFlattopScalingStaysWithinTheLimits) {
    Station s;
    s.run();
    s.write<double>(path::manualRatio, 2.5);
    EXPECT_DOUBLE_EQ(s.read(path::ratio), 2.0);
    EXPECT_DOUBLE_EQ(s.read(path::manualRatio), 2.0);
  }

  /// An operator's write of a manual value while an algorithm is enabled: refused (both the controller's value
  /// and the manual one keep the start value) while that algorithm owns the value, accepted otherwise.
  struct OwnedValueCase {
    const char* name;
    bool feedback; // closed-loop algorithms act only with feedback on
    const char* algorithm;
    const std::string* manual;
    const std::string* controller;
    double written;
    double expected;
  };

  class ManualWriteWhileAnAlgorithmIsEnabled : public testing::TestWithParam<OwnedValueCase> {};

  TEST_P(ManualWriteWhileAnAlgorithmIsEnabled, IsRefusedOnlyWhenTheAlgorithmOwnsTheValue) {
    const auto& c = GetParam();
    Station s;
    s.run();
    if(c.feedback) s.write<Boolean>(path::feedBack, true);
    s.enableAlgorithm(c.algorithm, 0.5);
    s.write<double>(*c.manual, c.written);
    EXPECT_DOUBLE_EQ(s.read(*c.controller), c.expected);
    EXPECT_DOUBLE_EQ(s.read(*c.manual), c.expected);
  }

  INSTANTIATE_TEST_SUITE_P(OVC, ManualWriteWhileAnAlgorithmIsEnabled,
      testing::Values(
          OwnedValueCase{"OpenLoopScalingRefusesTheScale", false, "OpenLoop/Scaling", &path::manualScale,
              &path::scale, 1.5, 1.0},
          OwnedValueCase{"OpenLoopRatioRefusesTheRatio", false, "OpenLoop/Ratio", &path::manualRatio, &path::ratio,
              1.5, 1.0},
          OwnedValueCase{"ClosedLoopRotationLeavesTheAngle", true, "ClosedLoop/Rotation", &path::manualAngle,
              &path::angle, 30.0, 30.0},
          OwnedValueCase{"ForwardRefusesTheAngle", true, "ClosedLoop/Forward", &path::manualAngle, &path::angle,
              30.0, 0.0},
          OwnedValueCase{"ForwardRefusesTheScale", true, "ClosedLoop/Forward", &path::manualScale, &path::scale,
              1.5, 1.0}),
      [](const testing::TestParamInfo<OwnedValueCase>& info) { return std::string(info.param.name); });

  class NonFiniteManualValue : public testing::TestWithParam<double> {};

  TEST_P(NonFiniteManualValue, IsRefusedAndSetBack) {
    Station s;
    s.run();
    const double bad = GetParam();
    for(const auto& p : {path::manualScale, path::manualAngle, path::manualRatio}) {
      const double before = s.read(p);
      s.write<double>(p, bad);
      EXPECT_DOUBLE_EQ(s.read(p), before) << p;
    }
    EXPECT_DOUBLE_EQ(s.read(path::scale), 1.0);
    EXPECT_DOUBLE_EQ(s.read(path::angle), 0.0);
    EXPECT_DOUBLE_EQ(s.read(path::ratio), 1.0);
    EXPECT_EQ(s.test.readScalar<std::string>(path::validationError), "Manual ratio must be a finite number.");
  }

  INSTANTIATE_TEST_SUITE_P(OVC, NonFiniteManualValue,
      testing::Values(std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()),
      [](const testing::TestParamInfo<double>& info) {
        return std::string(std::isnan(info.param) ? "NaN" : info.param > 0 ? "PlusInfinity" : "MinusInfinity");
      });

  TEST(ManualCalibration, AReadBackOfTheCalibrationReachesTheManualValues) {
    Station s;
    s.run();
    s.write<double>(path::scale, 0.8);
    EXPECT_DOUBLE_EQ(s.read(path::manualScale), 0.8);
    s.write<double>(path::angle, -5.0);
    EXPECT_DOUBLE_EQ(s.read(path::manualAngle), -5.0);
  }

  TEST(ScalingLimits, AMinimumNotAboveZeroIsRejected) {
    Station s;
    s.run();
    s.write<double>(path::ovc + "totalScaleMin", 0.0);
    EXPECT_DOUBLE_EQ(s.read(path::ovc + "totalScaleMin"), 0.1);
    EXPECT_EQ(s.test.readScalar<std::string>(path::validationError), "Minimum total scaling must be bigger than zero.");
    s.write<double>(path::ovc + "totalScaleMax", std::numeric_limits<double>::infinity());
    EXPECT_DOUBLE_EQ(s.read(path::ovc + "totalScaleMax"), 2.0);
    EXPECT_EQ(s.test.readScalar<std::string>(path::validationError),
        "Maximum total scaling must be bigger than minimum scaling.");
  }

  TEST(ScalingLimits, InvalidInitialLimitsTakeTheirFallbacks) {
    Station s;
    s.test.setScalarDefault<double>(path::ovc + "totalScaleMin", -1.0);
    s.test.setScalarDefault<double>(path::ovc + "totalScaleMax", -2.0);
    s.run();
    EXPECT_DOUBLE_EQ(s.read(path::ovc + "totalScaleMin"), 0.1);
    EXPECT_DOUBLE_EQ(s.read(path::ovc + "totalScaleMax"), 2.0);
  }

} // namespace
