// The exact step of the cavity equation: Euler for short steps, stable and settled for long
// ones, turning at the detuning, and the guard on its increments.
#include "CavityStep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

using CavityStep::Field;

namespace {
  constexpr double omegaH = 1361.3568165555772; // loaded Q 3e6 at 1.3 GHz
  constexpr double twoPi = 2.0 * std::numbers::pi;
} // namespace

TEST(CavityStep, ShortStepIsTheEulerStep) {
  const Field field{10.0, -5.0}, forward{3.0, 2.0};
  const double omegaD = twoPi * 100.0, dt = 1e-9;
  const Field change = CavityStep::increment(field, forward, omegaH, omegaD, dt);
  const double eulerI = dt * (2 * omegaH * forward.i - omegaH * field.i - omegaD * field.q);
  const double eulerQ = dt * (2 * omegaH * forward.q + omegaD * field.i - omegaH * field.q);
  EXPECT_NEAR(change.i, eulerI, std::fabs(eulerI) * 1e-5);
  EXPECT_NEAR(change.q, eulerQ, std::fabs(eulerQ) * 1e-5);
}

TEST(CavityStep, OneLongStepEqualsManyShortOnes) {
  const Field forward{3.0, -1.5};
  const double omegaD = twoPi * 250.0;
  Field stepped{1.0, 2.0};
  for(int k = 0; k < 1000; ++k) stepped = CavityStep::advance(stepped, forward, omegaH, omegaD, 1e-6);
  const Field once = CavityStep::advance({1.0, 2.0}, forward, omegaH, omegaD, 1e-3);
  EXPECT_NEAR(stepped.i, once.i, 1e-10);
  EXPECT_NEAR(stepped.q, once.q, 1e-10);
}

TEST(CavityStep, GapBetweenPulsesSettlesInsteadOfGrowing) {
  // 0.091 s between two pulses is 124 time constants: Euler multiplies the field by -123
  for(double dt : {0.091, 1.0, 1e6}) {
    const Field field = CavityStep::advance({5e4, -3e4}, {100.0, -50.0}, omegaH, 0.0, dt);
    EXPECT_NEAR(field.i, 200.0, 1e-9) << dt;
    EXPECT_NEAR(field.q, -100.0, 1e-9) << dt;
  }
}

TEST(CavityStep, DetunedFieldTurnsWhileItDecays) {
  const double omegaD = twoPi * 100.0, dt = 1e-3;
  const Field field = CavityStep::advance({1.0, 0.0}, {0.0, 0.0}, omegaH, omegaD, dt);
  const double decay = std::exp(-omegaH * dt);
  EXPECT_NEAR(field.i, decay * std::cos(omegaD * dt), 1e-12);
  EXPECT_NEAR(field.q, decay * std::sin(omegaD * dt), 1e-12);
}

TEST(CavityStep, ZeroStepChangesNothing) {
  const Field field = CavityStep::advance({7.0, 8.0}, {1e3, 1e3}, omegaH, 10.0, 0.0);
  EXPECT_EQ(field.i, 7.0);
  EXPECT_EQ(field.q, 8.0);
}

TEST(CavityStep, GuardDropsNaNIncrementsAndBoundsHugeOnes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Field unchanged = CavityStep::advance({7.0, 8.0}, {1.0, 1.0}, nan, 0.0, 1e-6);
  EXPECT_EQ(unchanged.i, 7.0);
  EXPECT_EQ(unchanged.q, 8.0);

  const Field bounded = CavityStep::advance({1.0, -1.0}, {1e200, -1e200}, 1.0, 0.0, 1.0);
  EXPECT_EQ(bounded.i, 1.0 + 1e99);
  EXPECT_EQ(bounded.q, -1.0 - 1e99);
}
