// The arithmetic of the learning feed-forward on its own: the backward recursion, the moving average and the
// in-place smoothing, against values computed here step by step.
#include "LearningFeedForwardKernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace Kernels = LearningFeedForwardKernels;

namespace {

  constexpr std::size_t samples = 32;

  std::vector<float> ramp(float step, float offset = 0.F) {
    std::vector<float> values(samples);
    for(std::size_t k = 0; k < samples; ++k) values[k] = offset + step * float(k % 9);
    return values;
  }

  struct Recursion {
    std::vector<float> omega = std::vector<float>(12, 0.F);
    std::vector<float> beta = std::vector<float>(36 * samples, 0.F);
    std::vector<float> gamma = std::vector<float>(12 * samples, 0.F);
    std::vector<float> betaShort = std::vector<float>(36, 0.F);
    std::vector<float> gammaShort = std::vector<float>(12, 0.F);
    std::vector<float> incrementI = std::vector<float>(samples, -1.F);
    std::vector<float> incrementQ = std::vector<float>(samples, -1.F);

    bool run(std::uint32_t order, std::size_t start, std::size_t stop, const std::vector<float>& errorI,
        const std::vector<float>& errorQ, bool shortMatrices = false) {
      Kernels::Model model{order, shortMatrices, omega, beta, gamma, betaShort, gammaShort};
      return Kernels::backwardRecursion(model, errorI, errorQ, start, stop, incrementI, incrementQ);
    }
  };

  TEST(LearningFeedForwardKernels, FirstOrderRecursionPassesOnTheNextSamplesErrorOfI) {
    Recursion r;
    r.omega[0] = 1.F;
    for(std::size_t k = 0; k < samples; ++k) r.gamma[2 * k] = 1.F;
    const auto errorI = ramp(0.25F, 1.F);
    const auto errorQ = ramp(-3.F);
    ASSERT_TRUE(r.run(1, 5, 20, errorI, errorQ));
    for(std::size_t k = 5; k < 20; ++k) {
      EXPECT_EQ(r.incrementI[k - 5], errorI[k + 1]) << k;
      EXPECT_EQ(r.incrementQ[k - 5], 0.F) << k;
    }
    EXPECT_EQ(r.incrementI[15], -1.F); // nothing beyond the window's length
  }

  TEST(LearningFeedForwardKernels, SecondOrderRecursionFollowsTheStateEquation) {
    // per-sample matrices differing from sample to sample, against the products written out here
    Recursion r;
    r.omega = {1.F, 0.5F, -0.25F, 2.F, 0, 0, 0, 0, 0, 0, 0, 0}; // columns (1, 0.5) and (-0.25, 2)
    for(std::size_t k = 0; k < samples; ++k) {
      const float s = 0.1F * float(k % 4);
      const float b[4] = {0.5F, s, -s, 0.25F};
      const float g[4] = {1.F, 0.F, 0.5F, -1.F};
      std::copy(b, b + 4, r.beta.begin() + std::ptrdiff_t(4 * k));
      std::copy(g, g + 4, r.gamma.begin() + std::ptrdiff_t(4 * k));
    }
    const auto errorI = ramp(0.5F);
    const auto errorQ = ramp(-0.25F, 2.F);
    ASSERT_TRUE(r.run(2, 3, 30, errorI, errorQ));
    double x0 = 0.0;
    double x1 = 0.0;
    for(std::size_t k = 30; k-- > 3;) {
      const float* b = &r.beta[4 * k];
      const float* g = &r.gamma[4 * k];
      const double e0 = errorI[k + 1];
      const double e1 = errorQ[k + 1];
      const double n0 = b[0] * x0 + b[2] * x1 + g[0] * e0 + g[2] * e1;
      const double n1 = b[1] * x0 + b[3] * x1 + g[1] * e0 + g[3] * e1;
      x0 = n0;
      x1 = n1;
      EXPECT_NEAR(r.incrementI[k - 3], 1.0 * x0 - 0.25 * x1, 1e-4) << k;
      EXPECT_NEAR(r.incrementQ[k - 3], 0.5 * x0 + 2.0 * x1, 1e-4) << k;
    }
  }

  TEST(LearningFeedForwardKernels, NoStateOrAStateThatStaysZeroGivesNoCorrection) {
    const auto error = ramp(1.F, 1.F);
    Recursion none;
    ASSERT_TRUE(none.run(0, 0, 10, error, error));
    EXPECT_EQ(std::vector<float>(none.incrementI.begin(), none.incrementI.begin() + 10), std::vector<float>(10, 0.F));

    // B = identity, Gamma = 0 (short form), Omega = 1
    Recursion identity;
    identity.omega = {1.F, 1.F, 1.F, 1.F, 0, 0, 0, 0, 0, 0, 0, 0};
    identity.betaShort[0] = identity.betaShort[3] = 1.F;
    ASSERT_TRUE(identity.run(2, 0, 10, error, error, true));
    EXPECT_EQ(
        std::vector<float>(identity.incrementQ.begin(), identity.incrementQ.begin() + 10), std::vector<float>(10, 0.F));
  }

  TEST(LearningFeedForwardKernels, AnIncrementThatIsNotFiniteStopsTheRecursion) {
    Recursion r;
    r.omega[0] = 1.F;
    r.betaShort[0] = 1e30F;
    r.gammaShort[0] = 1.F;
    EXPECT_FALSE(r.run(1, 0, 20, ramp(1.F, 1.F), ramp(0.F), true));
  }

  TEST(LearningFeedForwardKernels, ThreeTapMovingAverageIsCentred) {
    const auto table = ramp(1.5F, -2.F);
    std::vector<float> out(samples, 99.F);
    Kernels::movingAverage(table, 3, out);
    const float w = 1.F / 3.F;
    EXPECT_EQ(out.front(), 99.F);
    EXPECT_EQ(out.back(), 99.F);
    for(std::size_t m = 1; m + 1 < samples; ++m) {
      EXPECT_EQ(out[m], table[m + 1] * w + table[m] * w + table[m - 1] * w) << m;
    }
    // one tap reproduces the table
    Kernels::movingAverage(table, 1, out);
    EXPECT_EQ(out, table);
  }

  TEST(LearningFeedForwardKernels, SmoothingUsesTheValuesAlreadySmoothed) {
    auto work = ramp(2.F, 1.F);
    const auto before = work;
    Kernels::smoothInPlace(work, 4, 2, 10);
    auto expected = before;
    const float w = 0.25F;
    for(std::size_t m = 2; m <= 10; ++m) {
      expected[m] = expected[m + 2] * w + expected[m + 1] * w + expected[m] * w + expected[m - 1] * w;
    }
    EXPECT_EQ(work, expected);
  }

} // namespace
