// Set-point slew limit: a change from one complex set-point to another needs
// |z_to - z_from| / radius microseconds; no change needs none; anything unusable needs forever.
#include "EdgeValues.h"

#include <llrf/MultiFlattopLimits.h>

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace {

  using testvalues::nan;
  using testvalues::inf;


  llrf::MultiFlattopLimits withRadius(double radius) {
    llrf::MultiFlattopLimits limits;
    limits.setRadius(radius);
    return limits;
  }

  struct TimeCase {
    llrf::Setpoint from;
    llrf::Setpoint to;
    double radius;
    double time;
  };

  TEST(MultiFlattopLimits, ExactCases) {
    const TimeCase cases[] = {
        {{1.0, 40.0}, {1.0, 40.0}, 2.0, 0.0},        // no change
        {{1.0, 10.0}, {1.0, 370.0}, 2.0, 0.0},       // same phase a turn apart
        {{1.0, 40.0}, {3.0, 40.0}, 2.0, 1.0},        // amplitude only
        {{3.0, -75.0}, {1.0, -75.0}, 0.5, 4.0},      // amplitude down
        {{1.0, 0.0}, {1.0, 180.0}, 2.0, 1.0},        // half turn: through the origin
        {{1.0, 90.0}, {2.0, -90.0}, 1.5, 2.0},       // opposite phases add up
        {{2.0, 30.0}, {0.0, -123.0}, 4.0, 0.5},      // to zero: the phase of zero does not matter
        {{0.0, 5.0}, {0.0, 95.0}, 1e-10, 0.0},       // zero stays zero
        {{3.0, 0.0}, {4.0, 90.0}, 1.0, 5.0},         // 3-4-5
    };
    for(const auto& c : cases) {
      const double t = withRadius(c.radius).computeTransitionTime(c.from, c.to);
      EXPECT_DOUBLE_EQ(t, c.time) << "(" << c.from.amplitude << ", " << c.from.phase << ") -> (" << c.to.amplitude
                                  << ", " << c.to.phase << ") radius " << c.radius;
    }
  }

  TEST(MultiFlattopLimits, MatchesComplexDistance) {
    constexpr double toRad = std::numbers::pi / 180.0;
    const llrf::Setpoint points[] = {{0.7, -35.0}, {1.2, 160.5}, {0.05, 179.9}, {1.0, -179.9}, {25.0, 0.001},
        {24.9, 0.0}, {1e-6, 45.0}, {0.9, 721.0}};
    for(double radius : {1e-10, 0.3, 7.0}) {
      const auto limits = withRadius(radius);
      for(const auto& a : points) {
        for(const auto& b : points) {
          const double expected =
              std::abs(std::polar(b.amplitude, b.phase * toRad) - std::polar(a.amplitude, a.phase * toRad)) / radius;
          const double t = limits.computeTransitionTime(a, b);
          EXPECT_NEAR(t, expected, 1e-12 * std::max(1.0, expected));
          EXPECT_EQ(t, limits.computeTransitionTime(b, a)) << "symmetric";
        }
      }
    }
  }

  TEST(MultiFlattopLimits, TimeScalesInverselyWithRadius) {
    const llrf::Setpoint from{1.0, 20.0};
    const llrf::Setpoint to{1.3, 50.0};
    const double t1 = withRadius(0.25).computeTransitionTime(from, to);
    EXPECT_DOUBLE_EQ(withRadius(0.5).computeTransitionTime(from, to), t1 / 2.0);
    EXPECT_DOUBLE_EQ(withRadius(2.5).computeTransitionTime(from, to), t1 / 10.0);
  }

  TEST(MultiFlattopLimits, UnusableRadiusAllowsNoChange) {
    const llrf::Setpoint from{1.0, 0.0};
    const llrf::Setpoint to{1.0, 1.0};
    llrf::MultiFlattopLimits initial;
    EXPECT_EQ(initial.radius(), 0.0);
    EXPECT_EQ(initial.computeTransitionTime(from, to), inf);
    EXPECT_EQ(initial.computeTransitionTime(from, from), 0.0);
    for(double radius : {0.0, -0.0, -1.0, nan, inf, -inf}) {
      const auto limits = withRadius(radius);
      EXPECT_EQ(limits.computeTransitionTime(from, to), inf) << radius;
      EXPECT_EQ(limits.computeTransitionTime(to, to), 0.0) << radius;
    }
  }

  TEST(MultiFlattopLimits, NonFiniteSetpointNeedsForever) {
    const auto limits = withRadius(1.0);
    const llrf::Setpoint good{1.0, 10.0};
    const llrf::Setpoint bad[] = {{nan, 10.0}, {1.0, nan}, {inf, 10.0}, {-inf, 10.0}, {1.0, inf}, {inf, 0.0}};
    for(const auto& b : bad) {
      EXPECT_EQ(limits.computeTransitionTime(good, b), inf) << b.amplitude << ", " << b.phase;
      EXPECT_EQ(limits.computeTransitionTime(b, good), inf) << b.amplitude << ", " << b.phase;
      EXPECT_EQ(limits.computeTransitionTime(b, b), inf) << b.amplitude << ", " << b.phase;
    }
    // finite but huge values: the distance or the phase difference overflows to +inf, never NaN
    EXPECT_EQ(limits.computeTransitionTime({1.0, 1.7e308}, {1.0, -1.7e308}), inf);
    EXPECT_EQ(limits.computeTransitionTime({1e308, 0.0}, {1e308, 180.0}), inf);
    EXPECT_EQ(limits.computeTransitionTime({1e308, 5.0}, {1e308, 5.0}), 0.0);
  }

} // namespace
