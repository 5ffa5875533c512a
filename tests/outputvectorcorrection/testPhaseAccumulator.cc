// The circular mean of the open-loop rotation algorithm.
#include "OutputVectorCorrection/PhaseAccumulator.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

  using OutputVectorCorrection::PhaseAccumulator;

  TEST(PhaseAccumulator, PhasesAroundTheBranchCutAverageToIt) {
    PhaseAccumulator a;
    a.add(179.0);
    a.add(-179.0);
    EXPECT_NEAR(std::abs(a.mean()), 180.0, 1e-9);
  }

  TEST(PhaseAccumulator, MeanOfSpreadPhases) {
    PhaseAccumulator a;
    for(double p : {10.0, 20.0, 30.0}) a.add(p);
    EXPECT_NEAR(a.mean(), 20.0, 1e-9);
  }

  TEST(PhaseAccumulator, EmptyGivesNaNAndResetForgetsEverything) {
    PhaseAccumulator a;
    EXPECT_TRUE(std::isnan(a.mean()));
    a.add(90.0);
    a.reset();
    EXPECT_TRUE(std::isnan(a.mean()));
    a.add(-45.0);
    EXPECT_NEAR(a.mean(), -45.0, 1e-9);
    EXPECT_EQ(a.count(), 1u);
  }

} // namespace
