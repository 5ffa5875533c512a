// The arithmetic of the automation's steps, without the framework.
#include "AutomationNumerics.h"
#include "EdgeValues.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

  using testvalues::nan;
  using testvalues::inf;

  using namespace AutomationNumerics;

  TEST(AutomationNumerics, ARampStepsUpToItsTargetAndRefusesStepsThatNeverGetThere) {
    struct Case {
      double current, step, target;
      std::optional<RampStep> expected;
    };
    const Case cases[] = {
        {2.0, 3.0, 20.0, RampStep{5.0, false}},
        {17.0, 3.0, 20.0, RampStep{20.0, true}},
        {18.0, 2.0, 20.0, RampStep{20.0, true}},  // landing on the target ends the ramp
        {25.0, 2.0, 20.0, RampStep{20.0, true}},  // a start beyond the target steps down to it
        {2.0, 0.0, 20.0, std::nullopt},
        {2.0, -1.0, 20.0, std::nullopt},
        {2.0, nan, 20.0, std::nullopt},
        {2.0, inf, 20.0, std::nullopt},
        {2.0, 1.0, nan, std::nullopt},
        {2.0, 1.0, inf, std::nullopt},
    };
    for(const auto& c : cases) {
      SCOPED_TRACE(std::to_string(c.current) + " " + std::to_string(c.step) + " " + std::to_string(c.target));
      const auto step = rampStep(c.current, c.step, c.target);
      ASSERT_EQ(step.has_value(), c.expected.has_value());
      if(!step) continue;
      EXPECT_EQ(step->value, c.expected->value);
      EXPECT_EQ(step->reached, c.expected->reached);
    }
  }

  TEST(AutomationNumerics, ALimitedStepKeepsTheSignAndTakesTheLimitsMagnitude) {
    EXPECT_EQ(limitedStep(1.0, 0.1), 0.1);
    EXPECT_EQ(limitedStep(-1.0, 0.1), -0.1);
    EXPECT_EQ(limitedStep(-1.0, -0.1), -0.1);
    EXPECT_EQ(limitedStep(0.05, 0.1), 0.05);
    EXPECT_EQ(limitedStep(358.0, 0.0), 0.0);
  }

  TEST(AutomationNumerics, TheCorrectionTurnsTheDriveOntoTheSetPointWithinItsRates) {
    // feed-forward alone reaches 0.8 of the set point, 20 deg early: the ratio asks for 1.25 and -20 deg
    const std::complex<double> setPoint(10.0, 0.0);
    const auto vectorSum = std::polar(8.0, 20.0 * std::numbers::pi / 180.0);
    const auto ratio = openLoopRatio(setPoint - vectorSum, vectorSum);
    EXPECT_NEAR(std::abs(ratio), 1.25, 1e-12);
    const auto limited = outputCorrection(ratio, 0.1, 5.0);
    EXPECT_DOUBLE_EQ(limited.factor, 1.1);
    EXPECT_DOUBLE_EQ(limited.angleStep, -5.0);
    const auto unlimited = outputCorrection(ratio, 1.0, 90.0);
    EXPECT_NEAR(unlimited.factor, 1.25, 1e-12);
    EXPECT_NEAR(unlimited.angleStep, -20.0, 1e-12);
    // closed loop: no correction left when the proportional output is 0
    EXPECT_EQ(closedLoopRatio({0.0, 0.0}, vectorSum), std::complex<double>(1.0, 0.0));
  }

  TEST(AutomationNumerics, TheOffsetTransformInvertsTheDacPath) {
    // the vector sum moves by 0.002 per digit, turned by 40 deg
    const auto path = std::polar(0.002, 40.0 * std::numbers::pi / 180.0);
    const double maxIandQ = 1000.0;
    const auto t = offsetTransform(path * std::complex<double>(maxIandQ, maxIandQ), maxIandQ);
    EXPECT_NEAR(t.scale, 500.0, 1e-9);
    // a leakage seen in the vector sum maps back onto the offset that cancels it
    const std::complex<double> dacError(120.0, -75.0);
    const auto seen = path * dacError;
    const auto correction = std::polar(t.scale * std::abs(seen), t.angle + std::arg(seen));
    EXPECT_NEAR(correction.real(), -120.0, 1e-9);
    EXPECT_NEAR(correction.imag(), 75.0, 1e-9);
    // a vector sum that did not move gives no transform
    EXPECT_FALSE(std::isfinite(offsetTransform({0.0, 0.0}, maxIandQ).scale));
  }

} // namespace
