// Phase folding into (-180, 180] and sine/cosine in degrees.
#include "EdgeValues.h"

#include <llrf/Phase.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

namespace {

  using testvalues::nan;
  using testvalues::inf;


  struct FoldCase {
    double in;
    double out;
  };

  TEST(CanonicalPhaseDefinition, FoldsKnownAngles) {
    const FoldCase cases[] = {
        {0.0, 0.0},
        {180.0, 180.0},
        {-180.0, 180.0},
        {540.0, 180.0},
        {-540.0, 180.0},
        {181.0, -179.0},
        {-181.0, 179.0},
        {359.0, -1.0},
        {720.5, 0.5},
        {370.0, 10.0},
        {-190.0, 170.0},
        {360.0, 0.0},
        {179.75, 179.75},
        {-179.75, -179.75},
        {1e-300, 1e-300},
        {-1e-300, -1e-300},
        {5e-324, 5e-324},
        // 1e20 is exactly 10^20, which is 280 modulo 360 (0 modulo 40, 1 modulo 9)
        {1e20, -80.0},
        {-1e20, 80.0},
        {std::nextafter(180.0, inf), std::nextafter(180.0, inf) - 360.0},
        {std::nextafter(-180.0, -inf), std::nextafter(-180.0, -inf) + 360.0},
        {std::nextafter(-180.0, 0.0), std::nextafter(-180.0, 0.0)},
    };
    for(const auto& c : cases) {
      EXPECT_EQ(llrf::canonicalPhaseDefinition(c.in), c.out) << "input " << c.in;
    }
  }

  TEST(CanonicalPhaseDefinition, KeepsTheSignOfZero) {
    EXPECT_TRUE(std::signbit(llrf::canonicalPhaseDefinition(-0.0)));
    EXPECT_FALSE(std::signbit(llrf::canonicalPhaseDefinition(0.0)));
  }

  TEST(CanonicalPhaseDefinition, NonFiniteGivesNaN) {
    for(double x : {nan, -nan, inf, -inf}) {
      EXPECT_TRUE(std::isnan(llrf::canonicalPhaseDefinition(x))) << "input " << x;
    }
  }

  TEST(CanonicalPhaseDefinition, ResultIsInRangeAndEquivalent) {
    // quarter degrees are exact in binary, so x - result must be an exact multiple of 360
    for(double x = -1500.0; x <= 1500.0; x += 0.25) {
      const double r = llrf::canonicalPhaseDefinition(x);
      ASSERT_GT(r, -180.0) << "input " << x;
      ASSERT_LE(r, 180.0) << "input " << x;
      ASSERT_EQ(std::fmod(x - r, 360.0), 0.0) << "input " << x;
    }
    const double huge = std::numeric_limits<double>::max();
    for(double x : {huge, -huge, 3.4e38, -3.4e38}) {
      const double r = llrf::canonicalPhaseDefinition(x);
      EXPECT_GT(r, -180.0);
      EXPECT_LE(r, 180.0);
    }
  }

  struct SinCosCase {
    double degrees;
    double sin;
    double cos;
  };

  TEST(SinCosDegrees, ExactAtQuarterTurns) {
    const SinCosCase cases[] = {
        {0.0, 0.0, 1.0},    {90.0, 1.0, 0.0},    {180.0, 0.0, -1.0},  {-90.0, -1.0, 0.0},
        {270.0, -1.0, 0.0}, {-180.0, 0.0, -1.0}, {360.0, 0.0, 1.0},   {450.0, 1.0, 0.0},
        {-270.0, 1.0, 0.0}, {-540.0, 0.0, -1.0}, {720.0, 0.0, 1.0},   {9e15, 0.0, 1.0},
    };
    for(const auto& c : cases) {
      const llrf::SinCos r = llrf::sinCosDegrees(c.degrees);
      EXPECT_EQ(r.sin, c.sin) << c.degrees;
      EXPECT_EQ(r.cos, c.cos) << c.degrees;
    }
  }

  TEST(SinCosDegrees, MatchesRadianFunctions) {
    constexpr double toRad = std::numbers::pi / 180.0;
    for(double x = -1000.0; x <= 1000.0; x += 0.37) {
      const llrf::SinCos r = llrf::sinCosDegrees(x);
      ASSERT_NEAR(r.sin, std::sin(x * toRad), 1e-13) << x;
      ASSERT_NEAR(r.cos, std::cos(x * toRad), 1e-13) << x;
    }
    const llrf::SinCos thirty = llrf::sinCosDegrees(30.0);
    EXPECT_NEAR(thirty.sin, 0.5, 1e-15);
    EXPECT_NEAR(thirty.cos, std::sqrt(3.0) / 2.0, 1e-15);
    const llrf::SinCos fortyFive = llrf::sinCosDegrees(-45.0);
    EXPECT_NEAR(fortyFive.sin, -std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(fortyFive.cos, std::sqrt(0.5), 1e-15);
    // 1e20 degrees is 280 degrees modulo 360: reduced exactly, no precision lost
    const llrf::SinCos big = llrf::sinCosDegrees(1e20);
    EXPECT_NEAR(big.sin, std::sin(280.0 * toRad), 1e-15);
    EXPECT_NEAR(big.cos, std::cos(280.0 * toRad), 1e-15);
  }

  TEST(SinCosDegrees, NonFiniteGivesNaN) {
    for(double x : {nan, inf, -inf}) {
      const llrf::SinCos r = llrf::sinCosDegrees(x);
      EXPECT_TRUE(std::isnan(r.sin)) << x;
      EXPECT_TRUE(std::isnan(r.cos)) << x;
    }
  }

} // namespace
