// The vector-sum arithmetic alone: sine and cosine of phases in degrees against an exact
// reference, exact quadrants, non-finite and huge phases, accumulation, tails, every
// implementation giving the same sums to rounding, and the AVX2 and AVX-512 ones to the bit.
#include "VectorSumKernels.h"

#include <Corvane/Exception.h>
#include <llrf/Phase.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

  using VectorSumKernels::Implementation;

  /// Every implementation this processor runs, the fastest last.
  std::vector<Implementation> implementations() {
    std::vector<Implementation> result;
    for(auto implementation : {Implementation::portable, Implementation::avx2, Implementation::avx512}) {
      if(VectorSumKernels::isAvailable(implementation)) result.push_back(implementation);
    }
    return result;
  }

  struct CosSin {
    std::vector<float> cos, sin;
  };

  /// cos and sin of each phase, through the accumulation with amplitude 1 onto zero sums.
  CosSin cosSin(Implementation implementation, const std::vector<float>& phases) {
    std::vector<float> ones(phases.size(), 1.F);
    CosSin result{std::vector<float>(phases.size()), std::vector<float>(phases.size())};
    VectorSumKernels::accumulate(implementation, ones, phases, result.cos, result.sin);
    return result;
  }

  /// Largest |error| of cos and sin against the exact value (reduction in degrees, double).
  double maximumError(Implementation implementation, const std::vector<float>& phases) {
    auto computed = cosSin(implementation, phases);
    double worst = 0.;
    for(std::size_t k = 0; k < phases.size(); ++k) {
      auto exact = llrf::sinCosDegrees(phases[k]);
      worst = std::max({worst, std::abs(computed.cos[k] - exact.cos), std::abs(computed.sin[k] - exact.sin)});
    }
    return worst;
  }

  TEST(VectorSumKernels, ErrorOfSineAndCosineIsAboutOneUnitInTheLastPlace) {
    std::vector<float> phases;
    // a dense grid over two turns (about 4 million phases) ...
    constexpr int steps = 1 << 22;
    for(int k = 0; k <= steps; ++k) phases.push_back(-360.F + 720.F * static_cast<float>(k) / steps);
    // ... every float near the quadrant boundaries, where the reduction switches ...
    for(float centre : {-180.F, -135.F, -90.F, -45.F, 0.F, 45.F, 90.F, 135.F, 180.F}) {
      float below = centre, above = centre;
      for(int k = 0; k < 2000; ++k) {
        below = std::nextafter(below, -1e9F);
        above = std::nextafter(above, 1e9F);
        phases.push_back(below);
        phases.push_back(above);
      }
    }
    // ... and phases over many turns up to the largest exactly reduced magnitude
    std::mt19937 generator(12345);
    std::uniform_real_distribution<float> wide(-8.3e6F, 8.3e6F);
    for(int k = 0; k < 200000; ++k) phases.push_back(wide(generator));

    for(auto implementation : implementations()) {
      EXPECT_LT(maximumError(implementation, phases), 1.2e-7) << nameOf(implementation);
    }
  }

  struct ExactCase {
    float phase;
    float cos, sin;
  };

  TEST(VectorSumKernels, MultiplesOfNinetyDegreesAreExact) {
    const std::vector<ExactCase> cases{
        {0.F, 1.F, 0.F},
        {90.F, 0.F, 1.F},
        {180.F, -1.F, 0.F},
        {-90.F, 0.F, -1.F},
        {-180.F, -1.F, 0.F},
        {270.F, 0.F, -1.F},
        {360.F, 1.F, 0.F},
        {-270.F, 0.F, 1.F},
        {450.F, 0.F, 1.F},
        {-720.F, 1.F, 0.F},
        {90.F * 90000.F, 1.F, 0.F}, // 8.1e6 degrees, a multiple of 360
    };
    std::vector<float> phases;
    for(auto& c : cases) phases.push_back(c.phase);
    for(auto implementation : implementations()) {
      auto computed = cosSin(implementation, phases);
      for(std::size_t k = 0; k < cases.size(); ++k) {
        EXPECT_EQ(computed.cos[k], cases[k].cos) << nameOf(implementation) << " phase " << cases[k].phase;
        EXPECT_EQ(computed.sin[k], cases[k].sin) << nameOf(implementation) << " phase " << cases[k].phase;
      }
    }
  }

  TEST(VectorSumKernels, HugePhasesAreReducedExactlyAndNonFinitePhasesGiveNaN) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // 2^23 and beyond: the exact double reduction; 3e9 = 8333333 turns + 120 degrees
    const std::vector<float> huge{8388608.F, -8388608.F, 3e9F, -1e30F, 16777216.F * 45.F, 8388607.5F, -8388607.5F};
    for(auto implementation : implementations()) {
      auto computed = cosSin(implementation, huge);
      for(std::size_t k = 0; k < huge.size(); ++k) {
        auto exact = llrf::sinCosDegrees(huge[k]);
        EXPECT_NEAR(computed.cos[k], exact.cos, 1e-7) << nameOf(implementation) << " phase " << huge[k];
        EXPECT_NEAR(computed.sin[k], exact.sin, 1e-7) << nameOf(implementation) << " phase " << huge[k];
      }
      EXPECT_NEAR(computed.cos[2], -0.5, 1e-7);

      auto special = cosSin(implementation, {nan, inf, -inf, 30.F});
      for(std::size_t k = 0; k < 3; ++k) {
        EXPECT_TRUE(std::isnan(special.cos[k]) && std::isnan(special.sin[k])) << nameOf(implementation) << " " << k;
      }
      // a non-finite neighbour leaves the other lanes alone
      EXPECT_NEAR(special.sin[3], 0.5, 1e-7);
    }
  }

  TEST(VectorSumKernels, AccumulatesOntoTheSumsForEveryLengthAndBothImplementationsAgree) {
    std::mt19937 generator(7);
    std::uniform_real_distribution<float> amplitude(0.F, 50.F), phase(-180.F, 180.F), start(-10.F, 10.F);
    // lengths around the vector widths, so that every tail length is met
    for(std::size_t n : {0, 1, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 33, 1000}) {
      std::vector<float> a(n), p(n), i0(n), q0(n);
      for(std::size_t k = 0; k < n; ++k) {
        a[k] = amplitude(generator);
        p[k] = phase(generator);
        i0[k] = start(generator);
        q0[k] = start(generator);
      }
      std::vector<std::vector<float>> iResults, qResults;
      for(auto implementation : implementations()) {
        auto i = i0, q = q0;
        VectorSumKernels::accumulate(implementation, a, p, i, q);
        for(std::size_t k = 0; k < n; ++k) {
          auto exact = llrf::sinCosDegrees(p[k]);
          EXPECT_NEAR(i[k], i0[k] + a[k] * exact.cos, 2e-5) << nameOf(implementation) << " n " << n << " k " << k;
          EXPECT_NEAR(q[k], q0[k] + a[k] * exact.sin, 2e-5) << nameOf(implementation) << " n " << n << " k " << k;
        }
        iResults.push_back(i);
        qResults.push_back(q);
      }
      // the default entry point runs the best implementation
      auto i = i0, q = q0;
      VectorSumKernels::accumulate(a, p, i, q);
      EXPECT_EQ(i, iResults.back()) << n;
      EXPECT_EQ(q, qResults.back()) << n;
    }
  }

  TEST(VectorSumKernels, TheFastestAvailableImplementationIsTheBest) {
    EXPECT_TRUE(VectorSumKernels::isAvailable(Implementation::portable));
    // AVX-512 is only used together with AVX2 and FMA
    if(VectorSumKernels::isAvailable(Implementation::avx512)) {
      EXPECT_TRUE(VectorSumKernels::isAvailable(Implementation::avx2));
    }
    EXPECT_EQ(VectorSumKernels::bestImplementation(), implementations().back());
  }

  TEST(VectorSumKernels, AvxImplementationsAgreeToTheBit) {
    if(!VectorSumKernels::isAvailable(Implementation::avx512)) GTEST_SKIP() << "no AVX-512 on this processor";
    // the same arithmetic in vectors of 8 and 16 lanes: also phases near the quadrant boundaries,
    // far turns, non-finite ones and tails of every length
    std::mt19937 generator(99);
    std::uniform_real_distribution<float> amplitude(0.F, 50.F), phase(-720.F, 720.F), far(-8.3e6F, 8.3e6F);
    std::uniform_int_distribution<int> boundary(-16, 16), ulps(-3, 3);
    for(std::size_t n : {1, 7, 8, 15, 16, 17, 31, 33, 1024, 4099}) {
      std::vector<float> a(n), p(n), i0(n), q0(n);
      for(std::size_t k = 0; k < n; ++k) {
        a[k] = amplitude(generator);
        switch(k % 3) {
          case 0:
            p[k] = phase(generator);
            break;
          case 1: {
            float near = 45.F * static_cast<float>(boundary(generator));
            for(int step = ulps(generator); step != 0; step += step > 0 ? -1 : 1) {
              near = std::nextafter(near, step > 0 ? 1e9F : -1e9F);
            }
            p[k] = near;
            break;
          }
          default:
            p[k] = far(generator);
        }
        i0[k] = amplitude(generator);
        q0[k] = -amplitude(generator);
      }
      if(n > 20) p[n / 2] = std::numeric_limits<float>::quiet_NaN();
      auto i2 = i0, q2 = q0, i5 = i0, q5 = q0;
      VectorSumKernels::accumulate(Implementation::avx2, a, p, i2, q2);
      VectorSumKernels::accumulate(Implementation::avx512, a, p, i5, q5);
      for(std::size_t k = 0; k < n; ++k) {
        if(std::isnan(i2[k])) {
          EXPECT_TRUE(std::isnan(i5[k]) && std::isnan(q5[k])) << "n " << n << " k " << k;
          continue;
        }
        EXPECT_EQ(i5[k], i2[k]) << "n " << n << " phase " << p[k];
        EXPECT_EQ(q5[k], q2[k]) << "n " << n << " phase " << p[k];
      }
    }
  }

  TEST(VectorSumKernels, SpansOfDifferentLengthsAreRefused) {
    std::vector<float> four(4), three(3);
    EXPECT_THROW(VectorSumKernels::accumulate(four, three, four, four), Corvane::logic_error);
    EXPECT_THROW(VectorSumKernels::accumulate(four, four, three, four), Corvane::logic_error);
    EXPECT_THROW(VectorSumKernels::accumulate(four, four, four, three), Corvane::logic_error);
    EXPECT_THROW(VectorSumKernels::accumulate(three, four, four, four), Corvane::logic_error);
  }

} // namespace
